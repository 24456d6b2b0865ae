// The boot ROM (boot ID, "A"/"U" "3" handshake, code into IRAM) and the primary
// loader that the loaded code stands for ("X", commands "p" "u" "r" "k" with
// address, size and code into SDRAM, "d" to start the secondary executable).
#include "board.h"
#include "wire_bytes.h"

namespace vrx::sim {

namespace {
constexpr quint32 kIramSize = 0x10000;  // IRAM addresses have four hex digits
constexpr quint32 kSdramStart = 0x80000000;
constexpr quint32 kSdramEnd = 0x84000000;  // exclusive
constexpr qsizetype kSdramSize = kSdramEnd - kSdramStart;
constexpr int kFieldsSize = 8;  // start address and size, 32 bits each

// What the boot ROM wants next, by handshake stage.
constexpr char kHandshake[] = {'A', 'U', '3'};

void take(LoadedImage& image, quint8 byte, qsizetype memorySize) {
    ++image.received;
    if (image.data.size() < memorySize) image.data.append(char(byte));
}
}  // namespace

void Board::feedBootRom(quint8 byte) {
    const char wanted = kHandshake[bootStage_];
    if (byte != quint8(wanted)) {
        violate(QString("boot ROM: expected '%1', received %2").arg(wanted).arg(byteText(byte)));
        if (bootStage_ == 2) bootStage_ = 1;  // "U" must come again before "3"
        return;
    }
    switch (bootStage_) {
        case 0:
            note("boot ROM: 'A' received");
            if (answer(Step::SecondBootId, "5")) bootStage_ = 1;
            break;
        case 1:
            bootStage_ = 2;
            break;
        case 2:
            note("boot ROM: 'U' '3' received");
            if (!answer(Step::BootReady, "R")) return;
            iram_.emplace();
            target_ = &*iram_;
            headerDone_ = false;
            pending_.clear();
            enter(State::BootLoad);
            break;
    }
}

// Gathers the 32-bit start address and size that precede every load; true
// once both have arrived and are stored in `target_`.
bool Board::takeLoadHeader(quint8 byte) {
    pending_.append(char(byte));
    if (pending_.size() < kFieldsSize) return false;
    target_->address = le32(pending_, 0);
    target_->size = le32(pending_, 4);
    pending_.clear();
    headerDone_ = true;
    return true;
}

void Board::feedBootLoad(quint8 byte) {
    if (!headerDone_) {
        if (!takeLoadHeader(byte)) return;
        note(QString("boot ROM: IRAM load at %1, %2 bytes")
                 .arg(hexValue(target_->address))
                 .arg(target_->size));
        if (quint64(target_->address) + target_->size > kIramSize) {
            violate(QString("boot ROM: %1 bytes at %2 do not fit the 64 KiB IRAM")
                        .arg(target_->size)
                        .arg(hexValue(target_->address)));
        }
        if (target_->size == 0) startIramProgram();
        return;
    }
    take(*target_, byte, kIramSize);
    if (target_->complete()) startIramProgram();
}

void Board::startIramProgram() {
    note(QString("boot ROM: IRAM code complete (%1 bytes), starting it").arg(iram_->received));
    target_ = nullptr;
    const bool flash =
        mode_ == Mode::Flash || (mode_ == Mode::Auto && iram_->data.contains("fl_burn"));
    if (flash) {
        note("flash loader running");
        sPending_ = false;
        enter(State::FlashWake);
        return;
    }
    note("primary loader running");
    if (answer(Step::PrimaryReady, "X")) enter(State::Primary);
}

void Board::feedPrimary(quint8 byte) {
    switch (byte) {
        case 'p':
        case 'u':
        case 'r':
        case 'k':
            command_ = char(byte);
            note(QString("primary loader: command '%1'").arg(command_));
            sdram_[command_] = LoadedImage{};
            target_ = &sdram_[command_];
            headerDone_ = false;
            pending_.clear();
            enter(State::PrimaryLoad);
            break;
        case 'd': {
            note("primary loader: 'd', starting the secondary executable");
            const auto secondary = sdram_.find('p');
            if (secondary == sdram_.end() || !secondary->second.complete()) {
                violate("primary loader: 'd' without a loaded secondary executable");
            }
            secondaryStarted_ = true;
            startTerminal(secondary_);
            break;
        }
        default:
            violate("primary loader: unknown command " + byteText(byte));
    }
}

void Board::feedPrimaryLoad(quint8 byte) {
    if (!headerDone_) {
        if (!takeLoadHeader(byte)) return;
        note(QString("primary loader: '%1' at %2, %3 bytes")
                 .arg(command_)
                 .arg(hexValue(target_->address))
                 .arg(target_->size));
        if (target_->address < kSdramStart ||
            quint64(target_->address) + target_->size > kSdramEnd) {
            violate(QString("primary loader: '%1' image of %2 bytes at %3 leaves the SDRAM window")
                        .arg(command_)
                        .arg(target_->size)
                        .arg(hexValue(target_->address)));
        }
        if (!answer(Step::Accept, "o", command_)) {
            if (state_ == State::Primary) sdram_.erase(command_);  // refused: nothing loaded
            target_ = nullptr;
            return;
        }
        if (target_->size > 0) return;
    } else {
        take(*target_, byte, kSdramSize);
        if (!target_->complete()) return;
    }
    note(QString("primary loader: '%1' code complete").arg(command_));
    target_ = nullptr;
    if (answer(Step::Done, "t", command_)) enter(State::Primary);
}

}  // namespace vrx::sim
