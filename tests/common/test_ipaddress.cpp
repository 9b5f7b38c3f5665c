#include "support/check.h"

#include "common/ipaddress.h"

#include <string>
#include <vector>

using namespace nuvok;

TEST_CASE("addresses and networks are read one way, or refused with the reason") {
    struct Row {
        std::string text;
        AddressProblem problem;
        std::string address; // as addressText gives it back
        int prefix;
    };
    const AddressProblem ok = AddressProblem::None;
    const AddressProblem bad = AddressProblem::Malformed;
    const AddressProblem padded = AddressProblem::ZeroPadded;
    const std::vector<Row> rows{
        {"127.0.0.10", ok, "127.0.0.10", 32},
        {"127.0.0.10/32", ok, "127.0.0.10", 32},
        {"0.0.0.0/0", ok, "0.0.0.0", 0},
        {"255.255.255.255", ok, "255.255.255.255", 32},
        {"127.000.000.010", padded, "", 0},
        {"127.0.0.00", padded, "", 0},
        {"0127.0.0.1/8", padded, "", 0},
        {"::ffff:127.0.0.010", padded, "", 0},
        {"127.000.000.010/33", bad, "", 0}, // unusable even without the padding
        {"127.00.1", bad, "", 0},
        {"127.1", bad, "", 0},
        {"0x7f.0.0.1", bad, "", 0},
        {"127.0.0.256", bad, "", 0},
        {"127.0.0.1.", bad, "", 0},
        {"127.0.0.1/", bad, "", 0},
        {"127.0.0.1/08", bad, "", 0},
        {"127.0.0.1/-1", bad, "", 0},
        {"127.0.0.1/1/2", bad, "", 0},
        {" 127.0.0.1", bad, "", 0},
        {"", bad, "", 0},
        {"::", ok, "::", 128},
        {"::1", ok, "::1", 128},
        {"fd00::/8", ok, "fd00::", 8},
        {"1:0:0:2:0:0:0:3", ok, "1:0:0:2::3", 128},
        {"1:2:3:4:5:6:7::", ok, "1:2:3:4:5:6:7:0", 128},
        {"0001:ABCD::", ok, "1:abcd::", 128},
        {"::ffff:127.0.0.5", ok, "::ffff:127.0.0.5", 128},
        {"64:ff9b::192.0.2.33/96", ok, "64:ff9b::c000:221", 96},
        {"::/129", bad, "", 0},
        {"fe80::1%eth0", bad, "", 0},
        {"1::2::3", bad, "", 0},
        {":::", bad, "", 0},
        {"1:2:3:4:5:6:7:8:9", bad, "", 0},
        {"1:2:3:4:5:6:7:8::", bad, "", 0},
        {"1:2:3:4:5:6:7", bad, "", 0},
        {"1::", ok, "1::", 128},
        {"1:", bad, "", 0},
        {":1::", bad, "", 0},
        {"12345::", bad, "", 0},
        {"1.2.3.4::", bad, "", 0},
        {"1:2:3:4:5:6:7:1.2.3.4", bad, "", 0},
    };
    for (const Row& row : rows) {
        const ParsedAddress parsed = parseAddress(row.text);
        CHECK_EQ(static_cast<int>(parsed.problem), static_cast<int>(row.problem));
        if (row.problem == ok) {
            CHECK_EQ(addressText(parsed.address), row.address);
            CHECK_EQ(parsed.prefix, row.prefix);
        }
        if (static_cast<int>(parsed.problem) != static_cast<int>(row.problem))
            std::cerr << "  for \"" << row.text << "\"\n";
    }
}
