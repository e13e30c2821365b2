#pragma once

#include <bridge/abstract_argv.h>

#include <memory>

namespace cmdline {
class parser;
}

namespace bg {

// The framework's argument service over one cmdline::parser, made by the first `add` and owned until the
// service is deleted (see Abstract_Argv).
class BG_API Argv : public Abstract_Argv {
public:
    explicit Argv(Interface* owner = nullptr);
    ~Argv() override;
    Argv(const Argv&) = delete;
    Argv& operator=(const Argv&) = delete;

    void add(const char* name, char short_name, const char* description, bool required,
        const Value& default_value) override;
    Value get(const char* name, const Value& default_value) override;
    bool parse(int argc, char** argv) override;
    bool exist(const char* name) override;
    std::string usage() override;
    Abstract_Argv* create() override;
    void destroy(Abstract_Argv** argv) override;

private:
    std::unique_ptr<cmdline::parser> parser_;
};

} // namespace bg
