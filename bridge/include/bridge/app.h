#pragma once

#include <bridge/abstract_app.h>

#include <memory>
#include <string>

namespace bg {

class Data;

// The process's application info, created by the admin. The setters log one debug line through the owner's
// logger (nothing when the owner has none). Owns its property store.
class BG_API App : public Abstract_App {
public:
    explicit App(Interface* owner = nullptr);
    ~App() override;

    const char* name() override;
    void set_name(const char* name) override;
    const char* display() override;
    void set_display(const char* display) override;
    const char* version() override;
    void set_version(const char* version) override;
    const char* release() override;
    void set_release(const char* release) override;
    void set_organization(const char* organization) override;
    const char* organization() override;
    const char* describe() override;
    void set_describe(const char* describe) override;
    const char* app_dir() override;
    const char* app_filepath() override;
    const char* app_name() override;
    bool set_property(const char* key, const Value& value, bool secure) override;
    Value get_property(const char* key, const Value& fallback, bool secure) override;
    bool erase_property(const char* key) override;
    bool has_property(const char* key) override;
    void dump(FILE* stream) override;
    const char* debug_key() override;

    App(const App&) = delete;
    App& operator=(const App&) = delete;

private:
    void set_text(std::string& field, const char* label, const char* text);

    std::string name_;
    std::string display_;
    std::string version_;
    std::string release_;
    std::string organization_;
    std::string describe_;
    std::unique_ptr<Data> properties_;
};

} // namespace bg
