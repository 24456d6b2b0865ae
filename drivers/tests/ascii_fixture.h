// Shared by the text driver tests: the text plug-in, x9rec scripts run
// against it, and a declaration helper that opens a text file with a driver
// string.
#pragma once

#include "driver_fixture.h"
#include "drv_op.h"

namespace x9test {

inline const x9host::Plugin& asciiPlugin() {
    static const x9host::Plugin plugin(X9ASCX_PATH);
    return plugin;
}

inline std::vector<std::string> runAsciiScript(const std::string& script,
                                               const ScratchFolder& dir) {
    std::string text = script;
    for (std::size_t at; (at = text.find("$D")) != std::string::npos;)
        text.replace(at, 2, dir.root());
    std::istringstream in(text);
    std::ostringstream out, err;
    x9rec::runScript(asciiPlugin(), in, out, err);
    std::vector<std::string> lines;
    std::istringstream result(out.str());
    for (std::string line; std::getline(result, line);) lines.push_back(line);
    return lines;
}

using x9host::textFieldSpec;

class TextDriverTest : public DriverTest {
  protected:
    void SetUp() override {
        asciiPlugin();
        DriverTest::SetUp();
    }
    x9host::CallResult call(x9host::Declaration& decl, int32_t code,
                            const std::vector<intptr_t>& args = {},
                            const std::vector<std::string>& strings = {}) {
        return x9host::callDriver(asciiPlugin(), decl, code, args, strings);
    }
    // Reads every record with Next from the start; the error that ended the
    // scan goes to *end.
    std::vector<std::string> readAll(x9host::Declaration& decl, int32_t* end = nullptr) {
        std::vector<std::string> records;
        call(decl, SetFirst);
        for (int guard = 0; guard < 1000; ++guard) {
            auto r = call(decl, Next);
            if (r.err != 0) {
                if (end) *end = r.err;
                return records;
            }
            records.push_back(decl.recordText());
        }
        ADD_FAILURE() << "Next never reached the end";
        return records;
    }
};

}  // namespace x9test
