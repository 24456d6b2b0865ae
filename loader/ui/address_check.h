// Address entry and the address check, without widgets: the window and the
// command-line front end both show what these return.
//
// NormalizeAddressText turns a typed address into the form the address boxes
// keep ("0x" and 4 hex digits for the IRAM slots 0 and 6, 8 for the others,
// "0x0" for anything that is no 32-bit number). CheckAddresses checks the
// ticked SDRAM slots 1 to 4 against the SDRAM window and the boot loader's
// marks, and returns the rows of the address table and one message per problem.
#pragma once

#include <QString>
#include <array>
#include <vector>

namespace vrx {

class Dialogs;
class LoaderFront;

// Digits an address box keeps for `slot`.
int AddressDigits(int slot);

QString NormalizeAddressText(const QString& text, int slot);

struct AddressSlot {
    bool ticked = false;
    QString address;  // txtStartAddress(i)
    QString size;     // lblCodeSize(i)
};

struct AddressRow {
    int index;  // 1..4 a slot, 5..7 the fixed rows; also the index into sSlotName
    QString start;
    QString size;
    bool operator==(const AddressRow&) const = default;
};

struct AddressMessage {
    QString title;
    QString text;
    bool operator==(const AddressMessage&) const = default;
};

struct AddressCheckResult {
    bool ok = true;
    std::vector<AddressRow> rows;  // sorted by start text
    std::vector<AddressMessage> messages;
};

// `slotInputs` is indexed by slot number; only 1 to 4 are looked at. `names` is
// sSlotName.
AddressCheckResult CheckAddresses(const std::array<AddressSlot, 7>& slotInputs,
                                  const std::array<QString, 8>& names);

// The slots as `front` shows them, indexed by slot number.
std::array<AddressSlot, 7> AddressInputsOf(const LoaderFront& front);

// Shows the check's messages one by one as exclamation boxes; sMsg holds the
// last one shown ("" when there is none).
void ShowAddressMessages(const AddressCheckResult& result, Dialogs& dialogs);

}  // namespace vrx
