#include <bridge/cmdline.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Parses `args` after a program name; the vector stays alive for the parser's own copies.
bool run(cmdline::parser& p, const Strings& args)
{
    std::vector<const char*> argv { "prog" };
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return p.parse(static_cast<int>(argv.size()), argv.data());
}

struct Fixture_Options {
    cmdline::parser p;
    // Renders an option's current value, or "-" when it was not given.
    std::map<std::string, std::function<std::string()>> values;

    template <class T> void add(const std::string& name, char short_name, const T& def)
    {
        p.add<T>(name, short_name, name, false, def);
        values[name] = [this, name] {
            std::ostringstream out;
            out << p.get<T>(name);
            return out.str();
        };
    }

    Fixture_Options()
    {
        p.add("verbose", 'v', "talk more");
        p.add("quiet", 'q', "talk less");
        values["verbose"] = values["quiet"] = [] { return std::string("set"); };
        add<int>("port", 'p', 80);
        add<int>("size", 0, 0);
        add<std::string>("name", 'n', "");
        add<unsigned int>("count", 'c', 1u);
        add<int64_t>("big", 0, 0);
        add<uint64_t>("ubig", 0, 0);
        add<float>("scale", 0, 1.0f);
        add<double>("ratio", 0, 0.5);
        add<bool>("debug", 'd', false);
    }

    std::map<std::string, std::string> given()
    {
        std::map<std::string, std::string> out;
        for (auto& [name, render] : values) {
            if (p.exist(name))
                out[name] = render();
        }
        return out;
    }
};

TEST(CmdlineParser, ParseTable)
{
    struct Row {
        Strings args;
        Strings errors;
        Strings positionals;
        std::map<std::string, std::string> given;
    } rows[] = {
        { { "--size=12" }, {}, {}, { { "size", "12" } } },
        { { "--size", "12" }, {}, {}, { { "size", "12" } } },
        { { "--size" }, { "option needs value: --size" }, {}, {} },
        { { "--size=" }, { "option value is invalid: --size=" }, {}, {} },
        { { "--size", "-5" }, {}, {}, { { "size", "-5" } } },
        { { "--size", "--verbose" }, { "option value is invalid: --size=--verbose" }, {}, {} },
        { { "--size= 12" }, {}, {}, { { "size", "12" } } },
        { { "--size=+7" }, {}, {}, { { "size", "7" } } },
        { { "--size=12 " }, { "option value is invalid: --size=12 " }, {}, {} },
        { { "--size=0x10" }, { "option value is invalid: --size=0x10" }, {}, {} },
        { { "--size=abc" }, { "option value is invalid: --size=abc" }, {}, {} },
        { { "--size=2147483648" }, { "option value is invalid: --size=2147483648" }, {}, {} },
        { { "--size=-2147483648" }, {}, {}, { { "size", "-2147483648" } } },
        { { "--name=" }, {}, {}, { { "name", "" } } },
        { { "--name", " a b " }, {}, {}, { { "name", " a b " } } },
        { { "--verbose=1" }, { "option value is invalid: --verbose=1" }, {}, {} },
        { { "-vq" }, {}, {}, { { "verbose", "set" }, { "quiet", "set" } } },
        { { "-vp", "80" }, {}, {}, { { "verbose", "set" }, { "port", "80" } } },
        { { "-pv", "80" }, { "option needs value: --port" }, { "80" }, { { "verbose", "set" } } },
        { { "-p80" },
            { "option needs value: --port", "undefined short option: -8", "undefined short option: -0" }, {},
            {} },
        { { "-p" }, { "option needs value: --port" }, {}, {} },
        { { "-x" }, { "undefined short option: -x" }, {}, {} },
        { { "-xv" }, { "undefined short option: -x" }, {}, { { "verbose", "set" } } },
        { { "-" }, {}, {}, {} },
        { { "--" }, { "undefined option: --" }, {}, {} },
        { { "--nope" }, { "undefined option: --nope" }, {}, {} },
        { { "--nope=3" }, { "undefined option: --nope" }, {}, {} },
        { { "a", "--verbose", "b" }, {}, { "a", "b" }, { { "verbose", "set" } } },
        { { "--nope", "-x", "--size=a", "rest" },
            { "undefined option: --nope", "undefined short option: -x", "option value is invalid: --size=a" },
            { "rest" }, {} },
        { { "--count=4294967295" }, {}, {}, { { "count", "4294967295" } } },
        { { "--count=4294967296" }, { "option value is invalid: --count=4294967296" }, {}, {} },
        { { "--count=-1" }, { "option value is invalid: --count=-1" }, {}, {} },
        { { "--count=-0" }, { "option value is invalid: --count=-0" }, {}, {} },
        { { "--big=-9223372036854775808" }, {}, {}, { { "big", "-9223372036854775808" } } },
        { { "--big=9223372036854775808" }, { "option value is invalid: --big=9223372036854775808" }, {}, {} },
        { { "--ubig=18446744073709551615" }, {}, {}, { { "ubig", "18446744073709551615" } } },
        { { "--ubig=-1" }, { "option value is invalid: --ubig=-1" }, {}, {} },
        { { "--ratio=1e3" }, {}, {}, { { "ratio", "1000" } } },
        { { "--ratio=-.25" }, {}, {}, { { "ratio", "-0.25" } } },
        { { "--ratio=inf" }, { "option value is invalid: --ratio=inf" }, {}, {} },
        { { "--ratio=nan" }, { "option value is invalid: --ratio=nan" }, {}, {} },
        { { "--ratio=0x1p3" }, { "option value is invalid: --ratio=0x1p3" }, {}, {} },
        { { "--ratio=1e999" }, { "option value is invalid: --ratio=1e999" }, {}, {} },
        { { "--scale", "2.5" }, {}, {}, { { "scale", "2.5" } } },
        { { "--scale=1e39" }, { "option value is invalid: --scale=1e39" }, {}, {} },
        { { "--debug=1" }, {}, {}, { { "debug", "1" } } },
        { { "-d", "0" }, {}, {}, { { "debug", "0" } } },
        { { "--debug=true" }, { "option value is invalid: --debug=true" }, {}, {} },
        { { "--debug=2" }, { "option value is invalid: --debug=2" }, {}, {} },
        { { "--debug=+1" }, { "option value is invalid: --debug=+1" }, {}, {} },
        { { "--debug= 1" }, {}, {}, { { "debug", "1" } } },
    };
    for (const Row& row : rows) {
        std::string trace;
        for (const std::string& a : row.args)
            trace += "'" + a + "' ";
        SCOPED_TRACE(trace);
        Fixture_Options f;
        EXPECT_EQ(run(f.p, row.args), row.errors.empty());
        EXPECT_EQ(f.p.errors(), row.errors);
        EXPECT_EQ(f.p.positionals(), row.positionals);
        EXPECT_EQ(f.given(), row.given);
    }
}

TEST(CmdlineParser, RefusedValueKeepsEarlierOne)
{
    Fixture_Options f;
    EXPECT_TRUE(run(f.p, { "--port=90" }));
    EXPECT_FALSE(run(f.p, { "--port=x" }));
    EXPECT_EQ(f.p.get<int>("port"), 90);
    EXPECT_TRUE(f.p.exist("port"));
}

TEST(CmdlineParser, SecondParseKeepsWhatTheFirstSet)
{
    Fixture_Options f;
    EXPECT_TRUE(run(f.p, { "-v", "x" }));
    EXPECT_TRUE(run(f.p, { "--size=3" }));
    EXPECT_TRUE(f.p.exist("verbose"));
    EXPECT_EQ(f.p.get<int>("size"), 3);
    EXPECT_EQ(f.p.positionals(), Strings {});
}

TEST(CmdlineParser, RequiredOptionIsReportedLast)
{
    cmdline::parser p;
    p.add<int>("zport", 0, "port", true, 0);
    p.add<std::string>("host", 'h', "host", true, "");
    p.add("flag", 'f', "never required");
    EXPECT_FALSE(run(p, { "--nope" }));
    EXPECT_EQ(
        p.errors(), (Strings { "undefined option: --nope", "need option: --host", "need option: --zport" }));
    EXPECT_TRUE(run(p, { "--zport=1", "-h", "x" }));
}

TEST(CmdlineParser, AmbiguousShortNameStopsBeforeArguments)
{
    cmdline::parser p;
    p.add("beta", 'x', "");
    p.add<int>("alpha", 'x', "", true, 0);
    EXPECT_FALSE(run(p, { "--nope", "pos" }));
    EXPECT_EQ(p.errors(), Strings { "short option 'x' is ambiguous" });
    EXPECT_TRUE(p.positionals().empty());
}

TEST(CmdlineParser, EmptyArgumentVector)
{
    cmdline::parser p;
    EXPECT_FALSE(p.parse(0, nullptr));
    EXPECT_EQ(p.errors(), Strings { "argument number must be longer than 0" });
}

TEST(CmdlineParser, MisuseByCodeRaises)
{
    Fixture_Options f;
    const auto message = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const cmdline::cmdline_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { f.p.add("port"); }), "multiple definition: port");
    EXPECT_EQ(
        message([&] { f.p.add<double>("verbose", 0, "", false, 1.0); }), "multiple definition: verbose");
    EXPECT_EQ(message([&] { f.p.exist("nope"); }), "there is no flag: --nope");
    EXPECT_EQ(message([&] { f.p.get<int>("nope"); }), "there is no flag: --nope");
    EXPECT_EQ(message([&] { f.p.get<unsigned int>("port"); }), "type mismatch flag 'port'");
    EXPECT_EQ(message([&] { f.p.get<bool>("verbose"); }), "type mismatch flag 'verbose'");
    EXPECT_EQ(f.p.get<int>("port"), 80) << "the parser is unchanged";
}

TEST(CmdlineParser, UsageText)
{
    cmdline::parser p;
    EXPECT_EQ(p.usage(), "usage:  [options] ... \noptions:\n");
    p.add("verbose", 'v', "talk more");
    p.add<int>("port", 0, "port", true, 0);
    run(p, {});
    EXPECT_EQ(p.usage(),
        "usage: prog --port=int [options] ... \n"
        "options:\n"
        "  -v, --verbose    talk more\n"
        "      --port       port (int)\n");

    cmdline::parser q;
    run(q, {});
    EXPECT_EQ(q.usage(), "usage: prog [options] ... \noptions:\n");
}

TEST(CmdlineParser, DescriptionsShowTypeAndDefault)
{
    cmdline::parser p;
    p.add<int>("a", 0, "port", false, 80);
    p.add<std::string>("b", 0, "name", false, "");
    p.add<double>("c", 0, "d", false, 0.5);
    p.add<double>("dd", 0, "d", false, 100000);
    p.add<float>("e", 0, "d", false, 1000000.0f);
    p.add<double>("f", 0, "d", false, 0.0001);
    p.add<double>("g", 0, "d", false, 0.00001);
    p.add<unsigned int>("h", 0, "d", false, 7);
    p.add<int64_t>("i", 0, "d", false, -3);
    p.add<uint64_t>("j", 0, "d", true, 9);
    p.add<bool>("k", 0, "d", false, true);
    run(p, {});
    EXPECT_EQ(p.usage(),
        "usage: prog --j=unsigned __int64 [options] ... \n"
        "options:\n"
        "      --a     port (int [=80])\n"
        "      --b     name (string [=])\n"
        "      --c     d (double [=0.5])\n"
        "      --dd    d (double [=100000])\n"
        "      --e     d (float [=1e+06])\n"
        "      --f     d (double [=0.0001])\n"
        "      --g     d (double [=1e-05])\n"
        "      --h     d (unsigned int [=7])\n"
        "      --i     d (__int64 [=-3])\n"
        "      --j     d (unsigned __int64)\n"
        "      --k     d (bool [=1])\n");
}

} // namespace
