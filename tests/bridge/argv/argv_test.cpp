#include <bridge/argv.h>
#include <bridge/cmdline.h>
#include <bridge/value.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

bool run(bg::Abstract_Argv& argv, std::vector<std::string> args)
{
    args.insert(args.begin(), "prog");
    std::vector<char*> v;
    for (std::string& a : args)
        v.push_back(a.data());
    return argv.parse(static_cast<int>(v.size()), v.data());
}

TEST(Argv, EachValueTypeRoundTrips)
{
    struct Row {
        const char* name;
        bg::Value add_default;
        std::string arg;
        bg::Value get_default;
        bg::Value expected;
    } rows[] = {
        { "i", bg::Value(5), "--i=-4", bg::Value(0), bg::Value(-4) },
        { "u", bg::Value(5u), "--u=4000000000", bg::Value(0u), bg::Value(4000000000u) },
        { "f", bg::Value(1.0f), "--f=2.5", bg::Value(0.0f), bg::Value(2.5f) },
        { "d", bg::Value(1.0), "--d=0.125", bg::Value(0.0), bg::Value(0.125) },
        { "l", bg::Value(1LL), "--l=-9000000000", bg::Value(0LL), bg::Value(-9000000000LL) },
        { "ul", bg::Value(1ULL), "--ul=18000000000000000000", bg::Value(0ULL),
            bg::Value(18000000000000000000ULL) },
        { "s", bg::Value("x"), "--s=hello world", bg::Value(""), bg::Value("hello world") },
        { "b", bg::Value(false), "--b=1", bg::Value(false), bg::Value(true) },
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.arg);
        bg::Argv argv;
        argv.add(row.name, 0, "d", false, row.add_default);
        EXPECT_TRUE(run(argv, { row.arg }));
        EXPECT_TRUE(argv.exist(row.name));
        const bg::Value got = argv.get(row.name, row.get_default);
        EXPECT_EQ(got.type(), row.expected.type());
        EXPECT_TRUE(got == row.expected) << got.toStdString();
    }
}

TEST(Argv, NothingAddedYet)
{
    bg::Argv argv;
    EXPECT_FALSE(run(argv, { "--x" }));
    EXPECT_EQ(argv.usage(), "");
    EXPECT_FALSE(argv.exist("x"));
    CaptureStdout();
    const bg::Value got = argv.get("x", bg::Value(42));
    EXPECT_EQ(GetCapturedStdout(), "** Have not add 'argv'; Argv get: 'x' not exist. \n");
    EXPECT_EQ(got.type(), bg::Value::VT_INT);
    EXPECT_EQ(got.toInt(), 42);
}

TEST(Argv, DefaultOfAnotherTypeMakesAFlag)
{
    bg::Argv argv;
    CaptureStdout();
    argv.add("fast", 'f', "go fast", true, bg::Value());
    EXPECT_EQ(GetCapturedStdout(), "** Argv add: unknow type 'fast'\n");
    EXPECT_TRUE(run(argv, {})) << "a flag is never required";
    EXPECT_FALSE(argv.exist("fast"));
    EXPECT_TRUE(run(argv, { "-f" }));
    EXPECT_TRUE(argv.exist("fast"));

    CaptureStdout();
    const bg::Value got = argv.get("fast", bg::Value());
    EXPECT_EQ(GetCapturedStdout(),
        "** Argv get: 'fast' exist!  but not type: string,bool,int,uint,int64,float,double\n");
    EXPECT_EQ(got.type(), bg::Value::VT_NULL);
}

TEST(Argv, GetFallsBackToItsOwnDefault)
{
    bg::Argv argv;
    argv.add("level", 'l', "level", false, bg::Value(5));
    argv.add("host", 0, "host", true, bg::Value("h"));
    EXPECT_FALSE(run(argv, {})) << "the required option is missing";

    for (const char* name : { "level", "host", "never-added" }) {
        SCOPED_TRACE(name);
        CaptureStdout();
        const bg::Value got = argv.get(name, bg::Value(9));
        EXPECT_EQ(GetCapturedStdout(), std::string("** Argv get: '") + name + "' not exist. \n");
        EXPECT_EQ(got.toInt(), 9);
    }
}

TEST(Argv, MisuseRaises)
{
    bg::Argv argv;
    argv.add("level", 'l', "level", false, bg::Value(5));
    EXPECT_TRUE(run(argv, { "--level=3" }));
    EXPECT_EQ(argv.get("level", bg::Value(0)).toInt(), 3);

    const auto message = [](auto call) {
        try {
            call();
        } catch (const cmdline::cmdline_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { argv.get("level", bg::Value(0u)); }), "type mismatch flag 'level'");
    EXPECT_EQ(
        message([&] { argv.add("level", 0, "", false, bg::Value("x")); }), "multiple definition: level");
    EXPECT_EQ(argv.get("level", bg::Value(0)).toInt(), 3) << "the option set is unchanged";
}

TEST(Argv, UsageComesFromTheParser)
{
    bg::Argv argv;
    argv.add("verbose", 'v', "talk more", false, bg::Value());
    argv.add("port", 0, "port", true, bg::Value(0));
    run(argv, { "--port=1" });
    EXPECT_EQ(argv.usage(),
        "usage: prog --port=int [options] ... \n"
        "options:\n"
        "  -v, --verbose    talk more\n"
        "      --port       port (int)\n");
}

TEST(Argv, CreateAndDestroy)
{
    int component = 0; // stands for an owner; only its address matters
    bg::Argv argv(reinterpret_cast<bg::Interface*>(&component));
    argv.add("x", 0, "", false, bg::Value(1));
    bg::Abstract_Argv* made = argv.create();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->owner, argv.owner);
    EXPECT_FALSE(run(*made, { "--x=2" })) << "the new service has no options";
    made->add("y", 0, "", false, bg::Value(1));
    EXPECT_TRUE(run(*made, {}));
    argv.destroy(&made);
    EXPECT_EQ(made, nullptr);
    argv.destroy(&made);
    argv.destroy(nullptr);
}

} // namespace
