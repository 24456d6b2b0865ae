#include "redirection.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "block.h"
#include "properties.h"

// A host without remote drivers leaves the look-up unresolved.
#pragma weak FindRemoteDriver

namespace drv {

namespace {

constexpr int32_t kUnsupported = 80;
constexpr int32_t kNoRemoteDriver = 95;
constexpr int32_t kNoRemoteFile = 96;
constexpr int32_t kCreateRefused = 54;

struct RedirectEntry : HashElement {
    char* target = nullptr;
    char* driverName = nullptr;
};

HashElement* makeEntry() {
    return std::make_unique<RedirectEntry>().release();
}

void destroyEntry(HashElement* element) {
    std::unique_ptr<RedirectEntry> entry(static_cast<RedirectEntry*>(element));
    freeText(entry->target);
    freeText(entry->driverName);
}

// The table's entries and the module flag change together under one lock;
// the host's remote services are called outside it.
std::mutex tableMutex;
std::unique_ptr<HashTable> table;
std::atomic<bool> moduleRedirected{false};

HashKey keyOf(const Drv_FileDecl& declaration) {
    int32_t thread = (declaration.attributes & kDeclPerThread) ? Hrt$THREAD() : 0;
    return HashKey{&declaration, thread};
}

struct Names {
    std::string driverName, target;
};

bool namesOf(const HashKey& key, Names& names) {
    std::lock_guard lock(tableMutex);
    auto* entry = table ? static_cast<RedirectEntry*>(table->HFind(key)) : nullptr;
    if (!entry) return false;
    names.driverName = entry->driverName ? entry->driverName : "";
    names.target = entry->target ? entry->target : "";
    return true;
}

intptr_t findRemoteDriver(const Names& names) {
    Hrt$PushCString(names.driverName.c_str());
    Hrt$PushCString(names.target.c_str());
    return FindRemoteDriver();
}

void deleteEntry(const HashKey& key) {
    std::lock_guard lock(tableMutex);
    if (!table) return;
    if (HashElement* entry = table->HFind(key)) table->HDelete(entry);
}

// Drv_FCB is packed: its fields are not bound to references.
void clearTarget(Drv_FCB& fcb) {
    Hrt$free(fcb.redirectTarget);
    fcb.redirectTarget = nullptr;
}

int32_t callRemote(Operation& op, intptr_t remoteFile) {
    return CallRemoteFile(remoteFile, op.code);
}

std::string stringText(const HrtString& text) {
    std::string copy(text.text ? text.text : "",
                     static_cast<std::size_t>(std::max(text.length, 0)));
    copy.resize(std::strlen(copy.c_str()));
    return copy;
}

void takeRemoteText(Operation& op, const char* text, int32_t length) {
    if (text && length > 0) op.resultText.assign(text, static_cast<std::size_t>(length));
}

void forwardSend(Operation& op, intptr_t remoteFile) {
    std::string text = stringText(op.stringA);
    char* answer = nullptr;
    int32_t answerLength = 0;
    op.error = CallRemoteFile(remoteFile, Send, text.c_str(), intptr_t{0}, &answer, &answerLength);
    takeRemoteText(op, answer, answerLength);
}

void forwardPosition(Operation& op, intptr_t remoteFile) {
    char* answer = nullptr;
    int32_t answerLength = 0;
    op.error = CallRemoteFile(remoteFile, Position, intptr_t{0}, &answer, &answerLength);
    takeRemoteText(op, answer, answerLength);
}

// The remote side reports its state word; an untouched word keeps the state.
void forwardSetProperty(Operation& op, intptr_t remoteFile, int32_t property) {
    Hrt$PushString(op.stringA.text, op.stringA.length);
    Hrt$PushString(op.stringB.text, op.stringB.length);
    int32_t stateWord = op.fcb->stateFlags;
    op.error = CallRemoteFile(remoteFile, SetProperty, intptr_t{property}, op.arg(0), &stateWord);
    op.fcb->stateFlags = stateWord;
}

void switchOn(const DriverDefinition& driver, Operation& op, const std::string& target) {
    Drv_FileDecl& declaration = *op.declaration;
    HashKey key = keyOf(declaration);
    {
        std::lock_guard lock(tableMutex);
        auto* entry = table ? static_cast<RedirectEntry*>(table->HAdd(key)) : nullptr;
        if (!entry) {
            op.error = kUnsupported;
            return;
        }
        entry->target = copyText(target.c_str());
        entry->driverName = copyText(driver.registration->driverName);
    }
    clearTarget(*op.fcb);
    op.fcb->redirectTarget = copyText(target.c_str());
    intptr_t remoteFile = 0;
    op.error = lookUpRemoteFile(declaration, remoteFile);
    if (op.error != 0) {
        clearTarget(*op.fcb);
        deleteEntry(key);
        return;
    }
    declaration.redirected |= kRedirectedBit;
    moduleRedirected = true;
}

void switchOff(Operation& op) {
    Drv_FileDecl& declaration = *op.declaration;
    HashKey key = keyOf(declaration);
    Names names;
    if (namesOf(key, names) && FindRemoteDriver) {
        intptr_t remoteDriver = findRemoteDriver(names);
        DestroyRemoteFile(remoteDriver, &declaration, key.thread);
    }
    deleteEntry(key);
    clearTarget(*op.fcb);
    declaration.redirected &= static_cast<uint8_t>(~kRedirectedBit);
    moduleRedirected = false;
}

}  // namespace

void createRedirectionTable() {
    std::lock_guard lock(tableMutex);
    table = std::make_unique<HashTable>(8);
    table->setFactory(makeEntry, destroyEntry);
}

void destroyRedirectionTable() {
    std::lock_guard lock(tableMutex);
    table.reset();
    moduleRedirected = false;
}

bool someFileRedirected() {
    return moduleRedirected;
}

int32_t lookUpRemoteFile(const Drv_FileDecl& declaration, intptr_t& remoteFile) {
    remoteFile = 0;
    if (!FindRemoteDriver) return kUnsupported;
    HashKey key = keyOf(declaration);
    Names names;
    if (!namesOf(key, names)) return kNoRemoteFile;
    intptr_t remoteDriver = findRemoteDriver(names);
    if (!remoteDriver) return kNoRemoteDriver;
    remoteFile = FindRemoteFile(remoteDriver, const_cast<Drv_FileDecl*>(&declaration), key.thread);
    return remoteFile ? 0 : kNoRemoteFile;
}

bool forwardOperation(const DriverDefinition&, Operation& op, intptr_t remoteFile) {
    switch (op.code) {
        case Add:
        case CopyOrRename0:
        case Flush:
        case Put:
        case Records:
        case Remove:
            op.error = kUnsupported;
            return true;
        case Close:
            op.error = callRemote(op, remoteFile);
            if (op.error == 0) {
                Hrt$ThreadedFileClose(op.declaration);
                Hrt$deactivate_drv(op.declaration);
            }
            return true;
        case Create:
            op.error = (op.fcb->attributes & kAttrCreateAllowed) ? callRemote(op, remoteFile)
                                                                 : kCreateRefused;
            return true;
        case Next:
        case Previous:
        case SetFirst:
            op.error = callRemote(op, remoteFile);
            return true;
        case Open:
        case Open2:
            op.error = CallRemoteFile(remoteFile, op.code, op.arg(0));
            return true;
        case Send:
            if (stringText(op.stringA) == "REGISTER") return false;
            forwardSend(op, remoteFile);
            return true;
        case Position:
            forwardPosition(op, remoteFile);
            return true;
        case ResetTo:
            op.error = CallRemoteFile(remoteFile, ResetTo, intptr_t{0}, op.stringA.text,
                                      intptr_t{op.stringA.length});
            return true;
        case SetProperty: {
            int32_t property = propertyCode(op.stringB);
            if (property == kRedirectProperty) return false;
            forwardSetProperty(op, remoteFile, property);
            return true;
        }
        default:
            return false;
    }
}

void switchRedirection(const DriverDefinition& driver, Operation& op) {
    std::string target = stringText(op.stringA);
    if (!target.empty()) {
        if (isRedirected(*op.declaration)) {
            op.error = kNoRemoteFile;
            return;
        }
        switchOn(driver, op, target);
    } else if (isRedirected(*op.declaration)) {
        switchOff(op);
    }
}

}  // namespace drv
