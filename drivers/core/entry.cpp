// The entry every operation goes through: the prologue (block, strings, key,
// state check), the operation, and the epilogue (trace, state update, result
// string, error report), in that fixed order.
#include <array>
#include <cstring>

#include "block.h"
#include "file_steps.h"
#include "options_trace.h"
#include "properties.h"
#include "redirection.h"

namespace drv {

namespace {

constexpr int32_t kUnsupported = 80;

// The code lists of the entry's steps, folded into one byte per code so each
// call looks its code up once.
enum CodeRule : uint8_t {
    kPopsA = 0x01,
    kPopsB = 0x02,
    kKeyScoped = 0x04,
    kPushesResult = 0x08,
    kDiscardsStale = 0x10,
};

constexpr uint8_t rulesOf(int32_t code) {
    return (popsStringA(code) ? kPopsA : 0) | (popsStringB(code) ? kPopsB : 0) |
           (isKeyScoped(code) ? kKeyScoped : 0) | (pushesResult(code) ? kPushesResult : 0) |
           (discardsStaleBlock(code) ? kDiscardsStale : 0);
}

constexpr int32_t kRuledCodes = 96;
constexpr auto kCodeRules = [] {
    std::array<uint8_t, kRuledCodes> rules{};
    for (int32_t code = 0; code < kRuledCodes; ++code) rules[code] = rulesOf(code);
    return rules;
}();
static_assert(
    [] {
        for (int32_t code = kRuledCodes; code < 1024; ++code)
            if (rulesOf(code) != 0) return false;
        return true;
    }(),
    "every code with a rule lies below kRuledCodes");

uint8_t rulesFor(int32_t code) {
    return code >= 0 && code < kRuledCodes ? kCodeRules[code] : 0;
}

struct EntryState {
    uint8_t rules = 0;
    bool madeBlock = false;
    bool redirected = false;
    bool deferredDiscard = false;
    bool clockNoted = false;
    int32_t startTicks = 0;
};

void popStrings(Operation& op, uint8_t rules) {
    if (rules & kPopsA) Hrt$PopTemp(&op.stringA);
    if (rules & kPopsB) Hrt$PopTemp(&op.stringB);
}

void freeStrings(Operation& op, uint8_t rules) {
    if (rules & kPopsA) Hrt$freestr(&op.stringA);
    if (rules & kPopsB) Hrt$freestr(&op.stringB);
}

bool blockIsStale(const Drv_FCB* fcb) {
    return fcb && !(fcb->stateFlags & (kStateOpen | kStateLive));
}

void performOpen(const DriverDefinition& driver, Operation& op) {
    Drv_FCB& fcb = *op.fcb;
    auto mode = static_cast<int32_t>(op.arg(0));
    if (!fcb.fileName || !*fcb.fileName) {
        op.error = 45;
    } else if (someFileRedirected()) {
        op.error = 90;  // another file of this driver is handed to a remote driver
    } else {
        op.error = openFile(driver, fcb, mode);
    }
    if (op.error != 0) {
        fcb.controlFlags |= kCtlDiscard;
        return;
    }
    fcb.openMode = mode;
    if (mode & 0x30)
        fcb.stateFlags |= kStateDenyMode;
    else
        fcb.stateFlags &= ~kStateDenyMode;
    if (mode & 3)
        fcb.stateFlags |= kStateForWriting;
    else
        fcb.stateFlags &= ~kStateForWriting;
    Hrt$activate_drv(op.declaration, mode, 0, 0, 1, 1, 0);
}

void performClose(const DriverDefinition& driver, Operation& op) {
    op.error = closeFile(driver, *op.fcb);
    Hrt$ThreadedFileClose(op.declaration);
    Hrt$deactivate_drv(op.declaration);
}

void performName(Operation& op) {
    const Drv_FCB& fcb = *op.fcb;
    if ((fcb.stateFlags & kStateOpen) && fcb.fileName) {
        op.resultText = fcb.fileName;
        return;
    }
    const Drv_FileDecl& decl = *op.declaration;
    if (!decl.nameText) return;
    if (decl.nameLength == -1) {
        op.resultText = decl.nameText;
    } else if (decl.nameLength == -2) {
        op.resultText.assign(decl.nameText + 1, static_cast<uint8_t>(decl.nameText[0]));
    } else if (decl.nameLength > 0) {
        op.resultText.assign(decl.nameText, static_cast<std::size_t>(decl.nameLength));
    }
}

void performSend(const DriverDefinition& driver, Operation& op) {
    std::string text(op.stringA.text ? op.stringA.text : "",
                     static_cast<std::size_t>(std::max(op.stringA.length, 0)));
    if (text == "REGISTER") {
        auto address = reinterpret_cast<uintptr_t>(driver.registration);
        op.resultText = std::to_string(address);
        op.result = static_cast<int32_t>(address);
        if (!(op.fcb->stateFlags & kStateOpen)) op.fcb->controlFlags |= kCtlDiscard;
        return;
    }
    text.resize(std::strlen(text.c_str()));
    drv_Strup(text.data());
    driver.layer->applyOption(*op.fcb, text, op.resultText);
}

void performCopyOrRename(Operation& op, int32_t rename) {
    char* target = drv_MakeCSTRING(op.stringA.text, op.stringA.length);
    if (!target) return;
    op.error = drv_CopyOrRenameFile(op.fcb->fileName, target, rename);
    Hrt$free(target);
}

int32_t currentKeyNumber(const Drv_FCB& fcb) {
    if (!fcb.currentKey || !fcb.keyTable) return 0;
    auto distance = reinterpret_cast<const uint8_t*>(fcb.currentKey) -
                    static_cast<const uint8_t*>(fcb.keyTable);
    return static_cast<int32_t>(distance / static_cast<std::ptrdiff_t>(sizeof(Drv_KCB))) + 1;
}

void performCore(const DriverDefinition& driver, Operation& op) {
    Drv_FCB& fcb = *op.fcb;
    switch (op.code) {
        case Close:
            performClose(driver, op);
            break;
        case CopyOrRename0:
            performCopyOrRename(op, 0);
            break;
        case CopyOrRename1:
            performCopyOrRename(op, 1);
            break;
        case Create:
            op.error = (fcb.attributes & kAttrCreateAllowed) ? createFile(fcb) : 54;
            break;
        case Empty:
            op.error = emptyFile(fcb);
            break;
        case Flush:
            op.error = flushFile(fcb);
            break;
        case Lock:
            op.error = lockFile(fcb);
            break;
        case LockWithTimeout:
            op.error = lockFileWithTimeout(fcb, static_cast<int32_t>(op.arg(0)));
            break;
        case Unlock:
            op.error = unlockFile(fcb);
            break;
        case Remove:
            op.error = removeFile(fcb);
            break;
        case Name:
            performName(op);
            break;
        case Open:
        case Open2:
            performOpen(driver, op);
            break;
        case Send:
            performSend(driver, op);
            break;
        case CurrentKeyNumber:
            op.result = currentKeyNumber(fcb);
            break;
        case Clear:
            Hrt$CLEAR(fcb.recordBuffer, op.declaration->classDescriptor,
                      static_cast<int32_t>(op.arg(0)));
            break;
        case EntryAddress:
            op.result =
                static_cast<int32_t>(reinterpret_cast<uintptr_t>(driver.registration->entry));
            break;
        case SetProperty:
            if (propertyCode(op.stringB) == kRedirectProperty)
                switchRedirection(driver, op);
            else
                setProperty(driver, op);
            break;
        case GetProperty:
            getProperty(driver, op);
            break;
        case GetKeyProperty:
            getKeyProperty(op);
            break;
        case SetKeyProperty:
        case NoOp92:
        case NoOp93:
            break;
        default:
            op.error = kUnsupported;
            break;
    }
}

// The last steps on the block: the error kept, the host's error cleared, the
// code kept for the next call, the block discarded when marked.
void finishOnBlock(const DriverDefinition& driver, Drv_FileDecl& declaration, Drv_FCB& fcb,
                   int32_t code, int32_t error, bool deferredDiscard) {
    fcb.lastError = error == -1 ? 0 : error;
    if (error == 0 && (fcb.controlFlags & kCtlClearError)) Hrt$clearerror();
    if (fcb.controlFlags & kCtlStoreLastOp) fcb.lastOperation = code;
    if ((fcb.controlFlags & kCtlDiscard) || deferredDiscard) detachBlock(driver, declaration);
}

// -1 is a failure the host is not told of.
void reportError(Drv_FileDecl* declaration, int32_t error) {
    if (error != 0 && error != -1) {
        Hrt$seterror(error);
        Hrt$SetErrorFile(declaration);
    }
}

void epilogue(const DriverDefinition& driver, Operation& op, const EntryState& state) {
    Drv_FCB* fcb = op.declaration->fcb;
    if (fcb && fcb->traceOn) {
        int32_t elapsed = state.clockNoted ? Hrt$clock() - state.startTicks : 0;
        drv_TraceOp(fcb, op.kcb, driver.registration->driverName, op.code, op.error, elapsed);
    }
    freeStrings(op, state.rules);
    if (fcb) drv_update_state(fcb, op.kcb, op.code, op.error, state.madeBlock ? 1 : 0);
    if (state.rules & kPushesResult) {
        if (fcb) {
            Hrt$PushString(op.resultText.data(), static_cast<int32_t>(op.resultText.size()));
            if (fcb->controlFlags & kCtlDiscard) Hrt$StackHeap();
        } else {
            Hrt$PushString("", 0);
        }
    }
    if (fcb) finishOnBlock(driver, *op.declaration, *fcb, op.code, op.error, state.deferredDiscard);
    reportError(op.declaration, op.error);
    if (op.error != 0 && (op.code == 2 || op.code == AtEnd)) op.result = 1;
}

// Next on a block that is there, on a file neither redirected nor traced: by
// far the commonest call. It takes the general path's steps, less those that
// cannot apply to it: Next is no file-level code (no stale block), pops no
// strings, takes no key and pushes no result.
int32_t runNext(const DriverDefinition& driver, Drv_FileDecl& declaration, Drv_FCB& fcb) {
    // Next neither makes a block nor discards one, so the block it starts
    // with is the one it ends with.
    int32_t error = drv_check_state(&fcb, nullptr, Next, nullptr);
    if (error == 0) error = driver.next(fcb);
    drv_update_state(&fcb, nullptr, Next, error, 0);
    finishOnBlock(driver, declaration, fcb, Next, error, false);
    reportError(&declaration, error);
    return 0;
}

// The steps before the operation: stale block, redirection look-up,
// strings, block, clock, key and state check. False when the operation must
// not run; op.error then says why.
bool prologue(const DriverDefinition& driver, Operation& op, EntryState& state,
              intptr_t& remoteFile) {
    Drv_FileDecl* declaration = op.declaration;
    if ((state.rules & kDiscardsStale) && blockIsStale(declaration->fcb)) {
        if (op.code == Close)
            state.deferredDiscard = true;
        else
            detachBlock(driver, *declaration);
    }
    state.redirected = isRedirected(*declaration);
    int32_t lookUpError = state.redirected ? lookUpRemoteFile(*declaration, remoteFile) : 0;
    popStrings(op, state.rules);
    if (lookUpError != 0) {
        op.error = lookUpError;
        return false;
    }
    if (!declaration->fcb) {
        state.madeBlock = true;
        op.error = attachBlock(driver, *declaration);
        if (op.error != 0) {
            if (declaration->fcb) declaration->fcb->controlFlags |= kCtlDiscard;
            return false;
        }
        setUpTrace(driver, *declaration->fcb);
    }
    op.fcb = declaration->fcb;
    if (op.fcb->traceOn) {
        state.clockNoted = true;
        state.startTicks = Hrt$clock();
    }
    if (state.rules & kKeyScoped) {
        const auto* key = reinterpret_cast<const Drv_KeyDecl*>(op.arg(0));
        op.kcb = key ? key->kcb : nullptr;
        if (op.args) ++op.args;
    }
    op.error =
        drv_check_state(op.fcb, op.kcb, op.code, (state.rules & kPopsA) ? &op.stringA : nullptr);
    return op.error == 0;
}

}  // namespace

namespace {

// Every call but the short path's. Kept out of line, so that the short path
// pays for none of the registers and stack this one needs.
[[gnu::noinline]] int32_t runOperation(const DriverDefinition& driver, int32_t code,
                                       Drv_FileDecl* declaration, const intptr_t* args) {
    Operation op;
    op.code = code;
    op.declaration = declaration;
    op.args = args;
    EntryState state;
    state.rules = rulesFor(code);
    intptr_t remoteFile = 0;
    if (prologue(driver, op, state, remoteFile) &&
        !(state.redirected && forwardOperation(driver, op, remoteFile)) &&
        !driver.layer->perform(op))
        performCore(driver, op);
    epilogue(driver, op, state);
    return op.result;
}

}  // namespace

int32_t runEntry(const DriverDefinition& driver, int32_t code, Drv_FileDecl* declaration,
                 const intptr_t* args) {
    if (code == Idle) return 0;
    Hrt$ThreadedFileOpen(declaration);
    if (code == Next) {
        Drv_FCB* fcb = declaration->fcb;
        if (fcb && !isRedirected(*declaration) && !fcb->traceOn)
            return runNext(driver, *declaration, *fcb);
    }
    return runOperation(driver, code, declaration, args);
}

void startModule() {
    Hrt$init();
    createRedirectionTable();
}
void endModule() {
    destroyRedirectionTable();
}

}  // namespace drv
