// The operation codes the host passes to a driver's entry (DrvOp), with their
// names, and which codes pop strings, name a key or push a result string.
#pragma once

#include <cstdint>
#include <string_view>

enum DrvOp : int32_t {
    Add = 1,
    Append = 4,
    AddLength = 51,
    AppendLength = 59,
    Close = 7,
    CopyOrRename0 = 9,
    CopyOrRename1 = 38,
    Create = 10,
    Empty = 13,
    AtEnd = 14,
    GetAt = 16,
    GetAtLength = 53,
    Lock = 20,
    LockWithTimeout = 21,
    Name = 23,
    Next = 24,
    Open = 25,
    Open2 = 48,
    Pointer = 27,
    Flush = 29,
    Put = 30,
    Previous = 31,
    Records = 32,
    Remove = 37,
    SetFirst = 41,
    SetAt = 43,
    Unlock = 50,
    Bytes = 52,
    PutAt = 54,
    PutAtLength = 55,
    Send = 60,
    Position = 61,
    ResetTo = 63,
    Reget = 66,
    SetProperty = 71,
    GetProperty = 72,
    CurrentKeyNumber = 73,
    Idle = 74,
    Clear = 82,
    SetKeyProperty = 85,
    GetKeyProperty = 86,
    EntryAddress = 91,
    NoOp92 = 92,
    NoOp93 = 93,
    MoreRecordsThan = 95,
};

struct DrvOpName {
    DrvOp code;
    std::string_view name;
};

inline constexpr DrvOpName kDrvOpNames[] = {
    {Add, "Add"},
    {Append, "Append"},
    {AddLength, "AddLength"},
    {AppendLength, "AppendLength"},
    {Close, "Close"},
    {CopyOrRename0, "CopyOrRename0"},
    {CopyOrRename1, "CopyOrRename1"},
    {Create, "Create"},
    {Empty, "Empty"},
    {AtEnd, "AtEnd"},
    {GetAt, "GetAt"},
    {GetAtLength, "GetAtLength"},
    {Lock, "Lock"},
    {LockWithTimeout, "LockWithTimeout"},
    {Name, "Name"},
    {Next, "Next"},
    {Open, "Open"},
    {Open2, "Open2"},
    {Pointer, "Pointer"},
    {Flush, "Flush"},
    {Put, "Put"},
    {Previous, "Previous"},
    {Records, "Records"},
    {Remove, "Remove"},
    {SetFirst, "SetFirst"},
    {SetAt, "SetAt"},
    {Unlock, "Unlock"},
    {Bytes, "Bytes"},
    {PutAt, "PutAt"},
    {PutAtLength, "PutAtLength"},
    {Send, "Send"},
    {Position, "Position"},
    {ResetTo, "ResetTo"},
    {Reget, "Reget"},
    {SetProperty, "SetProperty"},
    {GetProperty, "GetProperty"},
    {CurrentKeyNumber, "CurrentKeyNumber"},
    {Idle, "Idle"},
    {Clear, "Clear"},
    {SetKeyProperty, "SetKeyProperty"},
    {GetKeyProperty, "GetKeyProperty"},
    {EntryAddress, "EntryAddress"},
    {NoOp92, "NoOp92"},
    {NoOp93, "NoOp93"},
    {MoreRecordsThan, "MoreRecordsThan"},
};

// Codes whose string A (and for some string B) the entry pops.
constexpr bool popsStringA(int32_t code) {
    switch (code) {
        case 5:
        case 9:
        case 34:
        case 38:
        case 60:
        case 63:
        case 64:
        case 66:
        case 67:
        case 71:
        case 72:
        case 78:
        case 79:
        case 85:
        case 86:
        case 88:
        case 89:
        case 90:
            return true;
        default:
            return false;
    }
}

constexpr bool popsStringB(int32_t code) {
    return code == 34 || code == 71 || code == 78 || code == 85;
}

// Codes whose first extra argument is a Drv_KeyDecl.
constexpr bool isKeyScoped(int32_t code) {
    switch (code) {
        case 5:
        case 6:
        case 15:
        case 17:
        case 28:
        case 33:
        case 34:
        case 42:
        case 44:
        case 45:
        case 46:
        case 47:
        case 57:
        case 62:
        case 64:
        case 67:
        case 85:
        case 86:
        case 89:
            return true;
        default:
            return false;
    }
}

// Codes that hand a result string back on the host's string stack.
constexpr bool pushesResult(int32_t code) {
    switch (code) {
        case 23:
        case 60:
        case 61:
        case 62:
        case 72:
        case 79:
        case 86:
            return true;
        default:
            return false;
    }
}

// File-level codes that discard a stale block before they run.
constexpr bool discardsStaleBlock(int32_t code) {
    switch (code) {
        case 7:
        case 9:
        case 10:
        case 23:
        case 25:
        case 37:
        case 38:
        case 48:
        case 60:
        case 71:
        case 78:
        case 85:
        case 88:
        case 89:
        case 90:
            return true;
        default:
            return false;
    }
}
