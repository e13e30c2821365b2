// What libbridge.so exports, read with nm, against the public headers: only names of the public API, no
// instance of the standard library, no internal namespace or test hook, no private member function.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> exportedNames()
{
    std::vector<std::string> names;
    const std::string command = std::string("nm -DC --defined-only '") + BRIDGE_LIBRARY + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[8192];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        // "<address> <kind> <name>"
        const size_t first = text.find(' ');
        const size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
        if (second != std::string::npos)
            names.push_back(text.substr(second + 1));
    }
    pclose(pipe);
    return names;
}

// The qualified name a symbol stands for: "typeinfo for X" gives X; a function gives its name without
// return type, parameters or qualifiers.
std::string qualifiedName(std::string name)
{
    for (size_t at; (at = name.find("[abi:cxx11]")) != std::string::npos;)
        name.erase(at, 11);
    for (const char* prefix : { "typeinfo name for ", "typeinfo for ", "vtable for ", "VTT for ",
             "construction vtable for ", "guard variable for " }) {
        if (name.rfind(prefix, 0) == 0)
            name = name.substr(std::string(prefix).size());
    }
    // Cut at the parameter list (the first '(' outside template brackets).
    int depth = 0;
    size_t end = name.size();
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '<')
            ++depth;
        else if (c == '>')
            --depth;
        else if (c == '(' && depth == 0 && name.compare(0, i, "operator") != 0
            && (i < 8 || name.compare(i - 8, 8, "operator") != 0)) {
            end = i;
            break;
        }
    }
    name = name.substr(0, end);
    // The last word outside template brackets (drops a return type).
    depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<')
            ++depth;
        else if (name[i] == '>')
            --depth;
        else if (name[i] == ' ' && depth == 0 && name.compare(i + 1, 8, "operator") != 0)
            start = i + 1;
    }
    return name.substr(start);
}

// The parts of a qualified name, template arguments removed: "a::B<int>::f" gives a, B, f.
std::vector<std::string> parts(const std::string& name)
{
    std::string plain;
    int depth = 0;
    for (char c : name) {
        if (c == '<')
            ++depth;
        else if (c == '>')
            --depth;
        else if (depth == 0)
            plain += c;
    }
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= plain.size()) {
        const size_t next = plain.find("::", at);
        out.push_back(plain.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            break;
        at = next + 2;
    }
    return out;
}

struct Headers {
    std::string text; // every public header, for name look-ups
    // The access sections each (class, member function) is declared in.
    std::map<std::pair<std::string, std::string>, std::set<std::string>> members;
};

Headers readHeaders()
{
    Headers headers;
    const std::regex classLine(R"(^\s*(class|struct)\s+(BG_API\s+)?(\w+)\b[^;]*$)");
    const std::regex accessLine(R"(^\s*(public|private|protected)\s*:)");
    const std::regex functionName(R"((~?\w+)\s*\()");
    for (const auto& entry : std::filesystem::directory_iterator(BRIDGE_HEADERS)) {
        std::ifstream in(entry.path());
        std::stringstream whole;
        whole << in.rdbuf();
        headers.text += whole.str();
        struct Open {
            std::string name;
            std::string access;
            int depth;
        };
        std::vector<Open> open;
        int depth = 0;
        std::istringstream lines(whole.str());
        std::string line;
        while (std::getline(lines, line)) {
            std::smatch m;
            if (std::regex_search(line, m, classLine))
                open.push_back({ m[3], m[1] == "class" ? "private" : "public", depth });
            for (char c : line)
                depth += c == '{' ? 1 : c == '}' ? -1 : 0;
            if (!open.empty() && depth <= open.back().depth && line.find('}') != std::string::npos) {
                open.pop_back();
                continue;
            }
            if (!open.empty() && std::regex_search(line, m, accessLine)) {
                open.back().access = m[1];
                continue;
            }
            const std::string trimmed = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
            if (open.empty() || trimmed.rfind("//", 0) == 0)
                continue;
            if (std::regex_search(line, m, functionName)
                && line.substr(0, size_t(m.position(0))).find('=') == std::string::npos)
                headers.members[{ open.back().name, m[1] }].insert(open.back().access);
        }
    }
    return headers;
}

TEST(BridgeExports, OnlyThePublicApi)
{
    const std::vector<std::string> names = exportedNames();
    ASSERT_GT(names.size(), 100u) << "nm gave no names for " << BRIDGE_LIBRARY;
    const Headers headers = readHeaders();
    const std::set<std::string> roots = { "bg", "cmdline", "pp", "zov", "CConsoleLogger", "ConsoleManager" };
    const std::set<std::string> internal = { "registry_store", "startup", "loader_paths" };
    std::vector<std::string> wrong;
    for (const std::string& name : names) {
        if (name == "CD" || name == "Bg_Is_Aborted" || name.rfind("__odr_asan", 0) == 0)
            continue;
        const std::vector<std::string> path = parts(qualifiedName(name));
        std::string why;
        if (!roots.count(path.front()))
            why = "outside the framework's namespaces";
        for (const std::string& part : path) {
            if (internal.count(part))
                why = "internal";
        }
        if (why.empty() && path.size() >= 2) {
            const std::string& last = path.back();
            const std::string bare = last.rfind("operator", 0) == 0 ? "operator" : last;
            if (headers.text.find(bare) == std::string::npos)
                why = "not declared in the public headers";
            const auto member = headers.members.find({ path[path.size() - 2], bare });
            if (member != headers.members.end() && member->second == std::set<std::string> { "private" })
                why = "a private member";
        }
        if (!why.empty())
            wrong.push_back(why + ": " + name);
    }
    std::string list;
    for (const std::string& entry : wrong)
        list += entry.substr(0, 300) + "\n";
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " names should not be exported:\n" << list;
}

} // namespace
