#include "bridge/loader/module_fixture.h"

#include <bridge/library.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using Recorded = const char* (*)();

TEST(LibraryTest, OpensPathsWrittenWithAnySeparators)
{
    std::string bin = bin_dir();
    std::string mixed = bin;
    mixed.insert(1, "/"); // "//..." at the start
    mixed.back() = '\\';
    for (const std::string& path : { bin + kGoodModule, mixed + "\\/" + kGoodModule }) {
        SCOPED_TRACE(path);
        zov::Library library(path.c_str());
        ASSERT_TRUE(library.load()) << library.error();
        EXPECT_NE(library.symbol("get_component"), nullptr);
    }
}

TEST(LibraryTest, OpensAPathWithNonAsciiCharacters)
{
    TempDir dir;
    const std::string path = dir.file("模块.so");
    std::filesystem::copy_file(bin_dir() + kGoodModule, path);
    zov::Library library(path.c_str());
    ASSERT_TRUE(library.load()) << library.error();
    EXPECT_NE(library.symbol("recorded_calls"), nullptr);
}

TEST(LibraryTest, FailuresAreResultsWithAnErrorText)
{
    zov::Library missing((bin_dir() + "libnot_there.so").c_str());
    EXPECT_FALSE(missing.load());
    EXPECT_NE(missing.error().find("libray err: "), std::string::npos);
    EXPECT_NE(missing.error().find("libnot_there.so"), std::string::npos) << missing.error();
    EXPECT_EQ(missing.symbol("get_component"), nullptr);

    zov::Library empty("");
    EXPECT_FALSE(empty.load());

    zov::Library library((bin_dir() + kGoodModule).c_str());
    ASSERT_TRUE(library.load());
    EXPECT_EQ(library.symbol("no_such_symbol"), nullptr);
    EXPECT_NE(library.error().find("no_such_symbol"), std::string::npos) << library.error();
    EXPECT_EQ(library.symbol(nullptr), nullptr);
}

TEST(LibraryTest, LibraryOutlivesTheWrapper)
{
    Recorded recorded = nullptr;
    {
        auto library = std::make_unique<zov::Library>((bin_dir() + kGoodModule).c_str());
        ASSERT_TRUE(library->load());
        recorded = reinterpret_cast<Recorded>(library->symbol("recorded_calls"));
    }
    ASSERT_NE(recorded, nullptr);
    EXPECT_NE(recorded(), nullptr);
}

} // namespace
