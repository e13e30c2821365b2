#include <bridge/app.h>
#include <bridge/data.h>
#include <bridge/interface.h>
#include <bridge/logger.h>

#include "init/bridge_state.h"

namespace bg {

namespace {

    constexpr char kDebugKey[] = "tormaquile";

} // namespace

Abstract_App::~Abstract_App() = default;

App::App(Interface* owner)
    : properties_(std::make_unique<Data>(owner))
{
    this->owner = owner;
}

App::~App() = default;

void App::set_text(std::string& field, const char* label, const char* text)
{
    field = text ? text : "";
    if (owner && owner->logger)
        owner->logger->log(5, "bg", "[App] %s=%s\n", label, field.c_str());
}

const char* App::name() { return name_.c_str(); }
void App::set_name(const char* name) { set_text(name_, "name", name); }
const char* App::display() { return display_.c_str(); }
void App::set_display(const char* display) { set_text(display_, "display", display); }
const char* App::version() { return version_.c_str(); }
void App::set_version(const char* version) { set_text(version_, "version", version); }
const char* App::release() { return release_.c_str(); }
void App::set_release(const char* release) { set_text(release_, "release", release); }
void App::set_organization(const char* organization)
{
    set_text(organization_, "organization", organization);
}
const char* App::organization() { return organization_.c_str(); }
const char* App::describe() { return describe_.c_str(); }
void App::set_describe(const char* describe) { set_text(describe_, "describe", describe); }
const char* App::app_dir() { return startup::exe_dir().c_str(); }
const char* App::app_filepath() { return startup::exe_path().c_str(); }
const char* App::app_name() { return startup::app_name().c_str(); }

bool App::set_property(const char* key, const Value& value, bool secure)
{
    return properties_->set_data(key, secure ? properties_->pack(value) : value);
}

Value App::get_property(const char* key, const Value& fallback, bool secure)
{
    if (!properties_->isContains(key))
        return fallback;
    Value stored = properties_->get_data(key, fallback);
    return secure ? properties_->unpack(stored) : stored;
}

bool App::erase_property(const char* key) { return properties_->erease_data(key); }

bool App::has_property(const char* key) { return properties_->isContains(key); }

void App::dump(FILE* stream)
{
    if (!stream)
        return;
    fputs("------------ [App] ------------\n", stream);
    fprintf(stream, ">> app_name      = %s\n", app_name());
    fprintf(stream, ">> app_dir       = %s\n", app_dir());
    fprintf(stream, ">> app_filepath  = %s\n", app_filepath());
    fprintf(stream, ">> version       = %s\n", version());
    fprintf(stream, ">> organization  = %s\n", organization());
    fprintf(stream, ">> release_time  = %s\n", release());
    fprintf(stream, ">> describe      = %s\n", describe());
    properties_->debug(stream);
    fputs("-------------------------------\n\n", stream);
    fflush(stream);
}

const char* App::debug_key() { return kDebugKey; }

} // namespace bg
