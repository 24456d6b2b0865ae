#include "script_runner.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "driver_call.h"
#include "drv_op.h"
#include "error_names.h"
#include "host_control.h"
#include "record_text.h"

namespace x9rec {

namespace {

using x9host::CallResult;
using x9host::Declaration;

struct ParseError {
    std::string why;
};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Splits off the first blank-separated word; rest keeps what follows the one
// blank after it.
std::string_view takeWord(std::string_view& rest) {
    std::size_t start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    std::size_t end = rest.find_first_of(" \t", start);
    std::string_view word =
        rest.substr(start, end == std::string_view::npos ? rest.npos : end - start);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    return word;
}

intptr_t parseNumber(std::string_view word) {
    bool negative = !word.empty() && word[0] == '-';
    if (negative) word.remove_prefix(1);
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || ec != std::errc() || end != word.data() + word.size())
        throw ParseError{"not a number: " + std::string(word)};
    auto number = static_cast<intptr_t>(value);
    return negative ? -number : number;
}

intptr_t takeNumber(std::string_view& rest) {
    std::string_view word = takeWord(rest);
    if (word.empty()) throw ParseError{"a number is missing"};
    return parseNumber(word);
}

std::string littleEndian4(intptr_t value) {
    auto v = static_cast<uint32_t>(value);
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

// How the script gives each operation's arguments: n a number, s the rest of
// the line as string A, p a number passed as 4-byte string A, c a property
// code (string A when alone, string B when a value follows), k a null key.
std::string_view argumentForm(int32_t code) {
    switch (code) {
        case AddLength:
        case AppendLength:
        case GetAt:
        case Open:
        case Open2:
        case LockWithTimeout:
        case SetAt:
        case PutAt:
        case Clear:
        case MoreRecordsThan:
            return "n";
        case GetAtLength:
        case PutAtLength:
            return "nn";
        case Send:
        case CopyOrRename0:
        case CopyOrRename1:
            return "s";
        case ResetTo:
        case Reget:
            return "p";
        case GetProperty:
            return "cn";
        case SetProperty:
            return "cns";
        case GetKeyProperty:
            return "kcn";
        case SetKeyProperty:
            return "kcns";
        default:
            return "";
    }
}

bool readsRecord(int32_t code) {
    return code == GetAt || code == GetAtLength || code == Reget || code == Next ||
           code == Previous;
}

std::optional<int32_t> codeNamed(const std::string& name) {
    for (const auto& op : kDrvOpNames)
        if (lower(op.name) == name) return op.code;
    return std::nullopt;
}

class Runner {
  public:
    Runner(const x9host::Plugin& plugin, std::ostream& out)
        : plugin_(plugin), out_(out), firedBefore_(x9host::faultsFired()) {}
    ~Runner() {
        if (armed_) x9host::disarmFaults();
        if (declaration_) x9host::releaseDeclaration(plugin_, *declaration_);
    }

    void runLine(std::string_view line) {
        std::string_view rest = line;
        std::string word = lower(takeWord(rest));
        if (word == "decl") return declare(rest);
        if (word == "rec") return setRecord(rest);
        if (word == "state") return showState();
        if (word == "scan") return scan();
        if (word == "raw") return raw(rest);
        if (word == "fault") return armFault(rest);
        if (word == "faults") return showFaults(rest);
        auto code = codeNamed(word);
        if (!code) throw ParseError{"unknown operation: " + word};
        operation(word, *code, rest);
    }

  private:
    Declaration& declaration() {
        if (!declaration_) throw ParseError{"no decl before the first operation"};
        return *declaration_;
    }

    void declare(std::string_view rest) {
        x9host::DeclarationSpec spec;
        bool haveFile = false;
        bool haveFields = false;
        for (std::string_view word = takeWord(rest); !word.empty(); word = takeWord(rest)) {
            auto equals = word.find('=');
            if (equals == std::string_view::npos) throw ParseError{"expected KEY=VALUE"};
            std::string key = lower(word.substr(0, equals));
            std::string value(word.substr(equals + 1));
            if (key == "file") {
                spec.fileName = value;
                haveFile = true;
            } else if (key == "fields") {
                auto fields = x9host::parseFieldList(value);
                if (!fields) throw ParseError{"bad field list: " + value};
                spec.fields = *fields;
                haveFields = true;
            } else if (key == "driver") {
                spec.driverString = value;
            } else if (key == "owner") {
                spec.owner = value;
            } else if (key == "attr") {
                spec.attributes = static_cast<uint8_t>(parseNumber(value));
            } else {
                throw ParseError{"unknown decl key: " + key};
            }
        }
        if (!haveFile || !haveFields) throw ParseError{"decl needs file= and fields="};
        if (declaration_) x9host::releaseDeclaration(plugin_, *declaration_);
        declaration_ = std::make_unique<Declaration>(spec);
    }

    void setRecord(std::string_view rest) { declaration().setRecord(std::string(rest)); }

    void showState() {
        const Drv_FCB* fcb = declaration().block();
        if (!fcb) {
            out_ << "state none\n";
            return;
        }
        char flags[8];
        std::snprintf(flags, sizeof flags, "0x%02x", fcb->driverFlags);
        out_ << "state cur=" << fcb->currentPosition << " next=" << fcb->nextPosition
             << " last=" << fcb->lastTransfer << " size=" << fcb->fileSize << " flags=" << flags
             << "\n";
    }

    void scan() {
        Declaration& decl = declaration();
        uint64_t count = 0;
        for (;;) {
            CallResult result = x9host::callDriver(plugin_, decl, Next);
            if (result.err != 0) {
                out_ << "scan n=" << count << " " << ErrorText(result.err) << "\n";
                return;
            }
            if (decl.block() && (decl.block()->driverFlags & kFlagCurrent)) ++count;
        }
    }

    // fault KIND N [BYTES] | fault off: silent, as a fault lab must not
    // change what the script prints.
    void armFault(std::string_view rest) {
        std::string word = lower(takeWord(rest));
        if (word == "off") {
            if (!takeWord(rest).empty()) throw ParseError{"too many arguments"};
            x9host::disarmFaults();
            return;
        }
        x9host::FaultKind kind;
        if (!x9host::faultKindNamed(word, kind))
            throw ParseError{"unknown fault kind: " + std::string(word)};
        intptr_t nth = takeNumber(rest);
        if (nth < 1 || nth > INT32_MAX) throw ParseError{"the call to fail counts from 1"};
        intptr_t bytes = 0;
        if (std::string_view more = takeWord(rest); !more.empty()) {
            if (kind != x9host::FaultKind::shortWrite)
                throw ParseError{"only shortwrite takes a byte count"};
            bytes = parseNumber(more);
            if (bytes < 0 || bytes > INT32_MAX) throw ParseError{"bad byte count"};
        }
        if (!takeWord(rest).empty()) throw ParseError{"too many arguments"};
        x9host::armFault(kind, static_cast<uint32_t>(nth), static_cast<uint32_t>(bytes));
        armed_ = true;
    }

    void showFaults(std::string_view rest) {
        if (!takeWord(rest).empty()) throw ParseError{"too many arguments"};
        out_ << "faults fired=" << x9host::faultsFired() - firedBefore_ << "\n";
    }

    void raw(std::string_view rest) {
        auto code = static_cast<int32_t>(takeNumber(rest));
        std::vector<intptr_t> args;
        for (std::string_view word = takeWord(rest); !word.empty(); word = takeWord(rest))
            args.push_back(parseNumber(word));
        print("raw", code, x9host::callDriver(plugin_, declaration(), code, args));
    }

    void operation(const std::string& name, int32_t code, std::string_view rest) {
        std::vector<intptr_t> args;
        std::string stringA;
        std::string stringB;
        std::string_view form = argumentForm(code);
        for (std::size_t i = 0; i < form.size(); ++i) {
            switch (form[i]) {
                case 'n':
                    args.push_back(takeNumber(rest));
                    break;
                case 'p':
                    stringA = littleEndian4(takeNumber(rest));
                    break;
                case 'k':
                    args.push_back(0);
                    break;
                case 's':
                    stringA = std::string(rest);
                    rest = {};
                    break;
                case 'c': {
                    std::string_view word = takeWord(rest);
                    if (word.empty()) throw ParseError{"a property code is missing"};
                    (form.find('s') != std::string_view::npos ? stringB : stringA) = word;
                    break;
                }
            }
        }
        if (!takeWord(rest).empty()) throw ParseError{"too many arguments"};
        std::vector<std::string> strings;
        if (popsStringA(code)) strings.push_back(stringA);
        if (popsStringB(code)) strings.push_back(stringB);
        print(name, code, x9host::callDriver(plugin_, declaration(), code, args, strings));
    }

    void print(const std::string& name, int32_t code, const CallResult& result) {
        out_ << name << " ret=" << result.ret << " " << ErrorText(result.err);
        if (result.str) out_ << " str=" << quoteBytes(*result.str);
        if (readsRecord(code)) out_ << " rec=" << quoteBytes(declaration().recordText());
        out_ << "\n";
    }

    const x9host::Plugin& plugin_;
    std::ostream& out_;
    std::unique_ptr<Declaration> declaration_;
    uint64_t firedBefore_;
    bool armed_ = false;
};

}  // namespace

int runScript(const x9host::Plugin& plugin, std::istream& in, std::ostream& out,
              std::ostream& err) {
    Runner runner(plugin, out);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string_view text = line;
        std::size_t first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos || text[first] == '#') continue;
        try {
            runner.runLine(text.substr(first));
        } catch (const ParseError& e) {
            out.flush();
            err << "x9rec: line " << number << ": " << e.why << "\n";
            return kScriptUnparsable;
        }
    }
    return kScriptDone;
}

std::string pluginPath(const std::string& argument, const std::string& consoleDirectory) {
    if (argument == "DOS") return consoleDirectory + "/X9DOSX.so";
    if (argument == "ASCII") return consoleDirectory + "/X9ASCX.so";
    return argument;
}

}  // namespace x9rec
