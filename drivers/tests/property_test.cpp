// Property answers of both plug-ins: a table of (code, index) -> answer for
// the file, its fields and large fields, the sets with their effects, and
// the key properties of a key the host describes.
#include "ascii_fixture.h"
#include "properties.h"

namespace {

using x9host::Declaration;
using x9host::FieldSpec;
using x9host::Plugin;
using x9test::DriverTest;
using x9test::readFile;
using x9test::writeFile;

std::vector<FieldSpec> sampleFields() {
    FieldSpec address;
    address.type = 22;
    address.size = 14;
    address.groups = 2;
    address.name = "ADDRESS";
    address.label = "Address";
    FieldSpec street;
    street.size = 10;
    street.level = 2;
    street.dimensions = {2};
    street.name = street.label = "STREET";
    FieldSpec city;
    city.size = 4;
    city.level = 2;
    city.name = "CITY";
    city.label = "City";
    FieldSpec amount;  // a decimal over the group: the text driver takes it as an overlay
    amount.type = 10;
    amount.size = 4;
    amount.offset = 0;
    amount.places = 2;
    amount.name = "AMOUNT";
    return {address, street, city, amount};
}

struct PluginCase {
    const char* name;
    const Plugin& (*plugin)();
};
const PluginCase kPlugins[] = {{"DOS", x9test::dosPlugin}, {"ASCII", x9test::asciiPlugin}};

class PropertyTest : public DriverTest {
protected:
    std::unique_ptr<Declaration> openSample(const Plugin& plugin) {
        writeFile(dir.file("p.dat"), "0123456789");
        x9host::DeclarationSpec spec;
        spec.fileName = dir.file("p.dat");
        spec.fields = sampleFields();
        spec.driverString = "/QUICKSCAN=ON";
        spec.owner = "ME";
        spec.attributes = kDeclCreateAllowed | 0x08;
        auto decl = std::make_unique<Declaration>(spec);
        EXPECT_EQ(x9host::callDriver(plugin, *decl, Open, {0x12}).err, 0);
        return decl;
    }
    static std::string get(const Plugin& plugin, Declaration& decl, int32_t code, intptr_t index,
                           int32_t* error = nullptr) {
        auto r = x9host::callDriver(plugin, decl, GetProperty, {index}, {std::to_string(code)});
        if (error) *error = r.err;
        return r.str.value_or("<none>");
    }
    static int32_t set(const Plugin& plugin, Declaration& decl, int32_t code, intptr_t index,
                       const std::string& value) {
        return x9host::callDriver(plugin, decl, SetProperty, {index},
                                  {value, std::to_string(code)}).err;
    }
};

struct GetCase {
    int32_t code;
    intptr_t index;
    std::string dos;
    std::string ascii;
};

std::vector<GetCase> getCases() {
    return {
        // The file.
        {29453, 0, "DOS", "ASCII"}, {29458, 0, "4", "4"}, {29455, 0, "0", "0"},
        {29456, 0, "0", "0"}, {29457, 0, "0", "0"}, {29459, 0, "", ""}, {29465, 0, "1", "1"},
        {31942, 0, "1", "1"}, {29464, 0, "", ""}, {31893, 0, "", ""},
        {29460, 0, "/QUICKSCAN=ON", "/QUICKSCAN=ON"}, {29461, 0, "ME", "ME"},
        {29463, 0, "", ""}, {29481, 0, "", ""}, {29441, 0, "0", "0"}, {29443, 0, "", ""},
        {29444, 0, "", ""}, {29445, 0, "", ""}, {29446, 0, "", ""}, {29447, 0, "0", "0"},
        {29454, 0, "", ""}, {29508, 0, "", ""}, {29510, 0, "", ""}, {29511, 0, "10", "10"},
        {29440, 0, "", ""}, {31935, 0, "", ""}, {12345, 0, "", ""},
        // What the driver offers: the index is the code looked up.
        {29512, 31, "1", ""}, {29512, 32, "1", ""}, {29512, 72, "1", "1"}, {29512, 95, "", ""},
        {29513, 10, "1", ""}, {29513, 18, "1", "1"}, {29513, 22, "1", "1"}, {29513, 12, "", ""},
        {29512, -1, "", ""},
        // Fields.
        {29458, 1, "2", "2"}, {29458, 2, "1", "1"}, {29462, 1, "ADDRESS", "ADDRESS"},
        {29462, 2, "", ""}, {29463, 2, "STREET", "STREET"}, {29462, 3, "CITY", "CITY"},
        {29463, 3, "City", "City"}, {29474, 4, "2", ""}, {29474, 3, "", ""},
        {29475, 2, "2", "2"}, {29475, 3, "0", "0"}, {29476, 4, "1", "1"}, {29476, 3, "0", "0"},
        {31745, 3, "STRING", "STRING"}, {31745, 4, "DECIMAL", "DECIMAL"},
        {31929, 2, "10", "10"}, {31929, 1, "14", "14"}, {29462, 5, "", ""}, {31851, 1, "", ""},
        // Large fields: the host made none.
        {29462, -1, "", ""}, {31929, -1, "", ""},
    };
}

TEST_F(PropertyTest, AnswersByCodeAndIndex) {
    for (const PluginCase& p : kPlugins) {
        auto decl = openSample(p.plugin());
        for (const GetCase& c : getCases()) {
            SCOPED_TRACE(std::string(p.name) + " code " + std::to_string(c.code) + " index " +
                         std::to_string(c.index));
            int32_t error = -1;
            EXPECT_EQ(get(p.plugin(), *decl, c.code, c.index, &error),
                      std::string(p.name) == "DOS" ? c.dos : c.ascii);
            EXPECT_EQ(error, 0);
        }
        EXPECT_EQ(get(p.plugin(), *decl, 29462, 0), dir.file("p.dat"));
        x9host::releaseDeclaration(p.plugin(), *decl);
    }
}

TEST_F(PropertyTest, SetsChangeWhatTheyName) {
    for (const PluginCase& p : kPlugins) {
        SCOPED_TRACE(p.name);
        const Plugin& plugin = p.plugin();
        auto decl = openSample(plugin);
        Drv_FCB& fcb = *decl->block();
        EXPECT_EQ(set(plugin, *decl, 29441, 0, "1"), 80);
        EXPECT_EQ(set(plugin, *decl, 12345, 0, "1"), 0);
        EXPECT_EQ(set(plugin, *decl, 29460, 0, "/X"), 0);
        EXPECT_EQ(set(plugin, *decl, 29461, 0, "YOU"), 0);
        EXPECT_EQ(int32_t{fcb.changedStrings}, 0x6);
        EXPECT_EQ(get(plugin, *decl, 29460, 0), "/X");
        EXPECT_EQ(get(plugin, *decl, 29461, 0), "YOU");
        EXPECT_EQ(set(plugin, *decl, 29462, 0, "other.dat"), 0);
        EXPECT_EQ(int32_t{fcb.changedStrings}, 0x7);
        EXPECT_EQ(get(plugin, *decl, 29462, 0), "other.dat");
        EXPECT_EQ(set(plugin, *decl, 29464, 0, "7"), 0);
        EXPECT_EQ(get(plugin, *decl, 29464, 0), "1");
        EXPECT_EQ(set(plugin, *decl, 29464, 0, "0"), 0);
        EXPECT_EQ(get(plugin, *decl, 29464, 0), "");
        EXPECT_EQ(set(plugin, *decl, 29481, 0, "258"), 0);
        EXPECT_EQ(fcb.traceDetails, 2);
        EXPECT_EQ(get(plugin, *decl, 29481, 0), "1");
        EXPECT_EQ(set(plugin, *decl, 29462, 3, "TOWN"), 0);
        EXPECT_EQ(get(plugin, *decl, 29462, 3), "TOWN");
        EXPECT_EQ(set(plugin, *decl, 29463, 3, "Town"), 0);  // labels cannot be set
        EXPECT_EQ(get(plugin, *decl, 29463, 3), "City");
        x9host::releaseDeclaration(plugin, *decl);
    }
}

struct PriorityStep {
    std::string value;
    bool flipped;
    int16_t stored;
};

TEST_F(PropertyTest, Property29446FlipsAndStores101MinusV) {
    const Plugin& plugin = x9test::asciiPlugin();
    auto decl = openSample(plugin);
    const std::vector<PriorityStep> steps = {
        {"250", true, 1}, {"-5", false, 100}, {"40", true, 61}, {"40", false, 61},
        {"1", true, 100}, {"0", false, 100}, {"0", false, 100}, {"abc", false, 100},
    };
    for (const PriorityStep& step : steps) {
        SCOPED_TRACE("value " + step.value);
        EXPECT_EQ(set(plugin, *decl, 29446, 0, step.value), 0);
        EXPECT_EQ((decl->block()->stateFlags & 0x8000) != 0, step.flipped);
        EXPECT_EQ(int16_t{decl->block()->value99}, step.stored);
    }
    decl->block()->stateFlags |= 0x4000;
    decl->block()->value101 = -3;
    EXPECT_EQ(get(plugin, *decl, 29446, 0), "1");
    EXPECT_EQ(get(plugin, *decl, 29447, 0), "-3");
    x9host::releaseDeclaration(plugin, *decl);
}

TEST_F(PropertyTest, TraceFileAndTraceLine) {
    const Plugin& plugin = x9test::dosPlugin();
    auto decl = openSample(plugin);
    std::string trace = dir.file("trace.log");
    EXPECT_EQ(set(plugin, *decl, 29443, 0, trace), 0);
    EXPECT_EQ(get(plugin, *decl, 29443, 0), trace);
    EXPECT_EQ(set(plugin, *decl, 29442, 0, "hello"), 0);
    EXPECT_NE(readFile(trace).find("hello\r\n"), std::string::npos);
    EXPECT_EQ(set(plugin, *decl, 29443, 0, ""), 0);
    EXPECT_EQ(get(plugin, *decl, 29443, 0), "");
    EXPECT_EQ(decl->block()->traceOn, 0);
    x9host::releaseDeclaration(plugin, *decl);
}

TEST_F(PropertyTest, LargeFieldsSkipHiddenOnesAndTakeValuesThroughTheHost) {
    for (const PluginCase& p : kPlugins) {
        SCOPED_TRACE(p.name);
        const Plugin& plugin = p.plugin();
        auto decl = openSample(plugin);
        char names[][8] = {"HIDDEN", "MEMO", "PHOTO"};
        char labels[][8] = {"Hidden", "Memo", "Photo"};
        uint8_t memo[6] = {'n', 'o', 't', 'e', 's', '!'};
        std::vector<drv::LargeFieldDesc> table = {
            {names[0], labels[0], nullptr, 0, drv::kLargeFieldHidden, 0},
            {names[1], labels[1], memo, 6, drv::kLargeFieldReported, 0},
            {names[2], labels[2], nullptr, 1000, 0, 0},
        };
        decl->block()->largeFieldTable = table.data();
        decl->block()->largeFieldCount = 3;
        EXPECT_EQ(get(plugin, *decl, 29456, 0), "1");
        EXPECT_EQ(get(plugin, *decl, 29457, 0), "2");
        EXPECT_EQ(get(plugin, *decl, 29462, -1), "MEMO");
        EXPECT_EQ(get(plugin, *decl, 29463, -2), "Photo");
        EXPECT_EQ(get(plugin, *decl, 29473, -1), "1");
        EXPECT_EQ(get(plugin, *decl, 29473, -2), "");
        EXPECT_EQ(get(plugin, *decl, 31929, -2), "1000");
        EXPECT_EQ(get(plugin, *decl, 31935, -1), "notes!");
        EXPECT_EQ(get(plugin, *decl, 31744, -1), "notes!");
        EXPECT_EQ(get(plugin, *decl, 29462, -3), "");
        EXPECT_EQ(set(plugin, *decl, 31744, -1, "xy"), 0);
        EXPECT_EQ(std::string(memo, memo + 6), "xy    ");
        EXPECT_EQ(set(plugin, *decl, 31935, -1, "much too long"), 0);
        EXPECT_EQ(std::string(memo, memo + 6), "much t");
        EXPECT_EQ(set(plugin, *decl, 31935, -2, "no contents"), 0);  // nowhere to store: no effect
        decl->block()->largeFieldTable = nullptr;
        decl->block()->largeFieldCount = 0;
        x9host::releaseDeclaration(plugin, *decl);
    }
}

class KeyPropertyTest : public PropertyTest {
protected:
    std::string keyGet(const Plugin& plugin, Declaration& decl, Drv_KeyDecl* key, int32_t code,
                       intptr_t index) {
        auto r = x9host::callDriver(plugin, decl, GetKeyProperty,
                                    {reinterpret_cast<intptr_t>(key), index},
                                    {std::to_string(code)});
        EXPECT_EQ(r.err, 0);
        return r.str.value_or("<none>");
    }
};

TEST_F(KeyPropertyTest, ComponentsInsideTheKeyOnly) {
    const Plugin& plugin = x9test::asciiPlugin();
    auto decl = openSample(plugin);
    Drv_FCB& fcb = *decl->block();
    drv::KeyComponent components[2] = {{&fcb.fieldTable[2], 1}, {&fcb.fieldTable[1], 5}};
    char name[] = "BYCITY";
    char second[] = "By city";
    Drv_KCB keys[2] = {};
    keys[0].name = name;
    keys[0].secondText = second;
    keys[0].components = components;
    keys[0].number = 2;
    keys[0].flags = 0x01 | 0x04;
    keys[0].value29 = 77;
    keys[1].flags = 0x20 | 0x02 | 0x10;
    keys[1].value29 = 88;
    Drv_KeyDecl key{};
    key.kcb = &keys[0];
    Drv_KeyDecl index{};
    index.kcb = &keys[1];

    struct KeyCase {
        Drv_KeyDecl* key;
        int32_t code;
        intptr_t index;
        std::string answer;
    };
    const std::vector<KeyCase> cases = {
        {&key, 29462, 0, "BYCITY"}, {&key, 29463, 0, "By city"}, {&key, 29466, 0, "2"},
        {&key, 29467, 0, "1"}, {&key, 29468, 0, ""}, {&key, 29469, 0, "1"},
        {&key, 29470, 0, ""}, {&key, 31745, 0, "KEY"}, {&key, 29471, 1, "3"},
        {&key, 29471, 2, "2"}, {&key, 29472, 1, ""}, {&key, 29472, 2, "1"},
        {&key, 29471, 0, ""}, {&key, 29471, 3, ""}, {&key, 29472, -1, ""}, {&key, 4711, 0, ""},
        {&index, 29467, 0, "1"}, {&index, 29468, 0, "1"}, {&index, 29470, 0, "1"},
        {&index, 31745, 0, "INDEX"}, {&index, 29471, 1, ""}, {&index, 29462, 0, ""},
        {nullptr, 29462, 0, ""},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE("code " + std::to_string(c.code) + " index " + std::to_string(c.index));
        EXPECT_EQ(keyGet(plugin, *decl, c.key, c.code, c.index), c.answer);
    }

    fcb.keyTable = keys;
    fcb.keyCount = 2;
    EXPECT_EQ(get(plugin, *decl, 29455, 0), "2");
    EXPECT_EQ(get(plugin, *decl, 31851, 2), "88");
    EXPECT_EQ(get(plugin, *decl, 31851, 3), "");
    fcb.currentKey = &keys[0];
    EXPECT_EQ(get(plugin, *decl, 29440, 0), "77");
    fcb.stateFlags |= 0x4000;
    EXPECT_EQ(get(plugin, *decl, 29440, 0), "");  // the host's key is none
    fcb.hostKey = &keys[1];
    EXPECT_EQ(get(plugin, *decl, 29440, 0), "88");
    fcb.stateFlags &= ~0x4000;
    fcb.keyTable = nullptr;
    fcb.keyCount = 0;
    fcb.currentKey = fcb.hostKey = nullptr;
    x9host::releaseDeclaration(plugin, *decl);
}

}  // namespace
