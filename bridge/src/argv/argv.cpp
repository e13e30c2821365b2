#include <bridge/argv.h>
#include <bridge/cmdline.h>
#include <bridge/value.h>

#include <cstdint>
#include <cstdio>

namespace bg {

namespace {

    std::string text_of(const char* s) { return s ? s : ""; }

    // The "** Argv" lines go straight to standard output, not through the component's logger.
    void say(const char* format, const std::string& name)
    {
        printf(format, name.c_str());
        fflush(stdout);
    }

    template <class T> Value value_of(const cmdline::parser& p, const std::string& name)
    {
        return Value(p.get<T>(name));
    }

} // namespace

Argv::Argv(Interface* owner) { this->owner = owner; }

Argv::~Argv() = default;

void Argv::add(const char* name, char short_name, const char* description, bool required, const Value& def)
{
    if (!parser_)
        parser_ = std::make_unique<cmdline::parser>();
    const std::string n = text_of(name);
    const std::string desc = text_of(description);
    cmdline::parser& p = *parser_;
    switch (def.type()) {
    case Value::VT_INT:
        return p.add<int>(n, short_name, desc, required, def.toInt());
    case Value::VT_UINT:
        return p.add<unsigned int>(n, short_name, desc, required, def.toUInt());
    case Value::VT_FLOAT:
        return p.add<float>(n, short_name, desc, required, def.toFloat());
    case Value::VT_DOUBLE:
        return p.add<double>(n, short_name, desc, required, def.toDouble());
    case Value::VT_INT64:
        return p.add<int64_t>(n, short_name, desc, required, def.toInt64());
    case Value::VT_UINT64:
        return p.add<uint64_t>(n, short_name, desc, required, def.toUInt64());
    case Value::VT_STRING:
        return p.add<std::string>(n, short_name, desc, required, def.toStdString());
    case Value::VT_BOOL:
        return p.add<bool>(n, short_name, desc, required, def.toBool());
    default:
        say("** Argv add: unknow type '%s'\n", n);
        return p.add(n, short_name, desc);
    }
}

Value Argv::get(const char* name, const Value& def)
{
    const std::string n = text_of(name);
    if (!parser_) {
        say("** Have not add 'argv'; Argv get: '%s' not exist. \n", n);
        return def;
    }
    if (!exist(name)) {
        say("** Argv get: '%s' not exist. \n", n);
        return def;
    }
    const cmdline::parser& p = *parser_;
    switch (def.type()) {
    case Value::VT_INT:
        return value_of<int>(p, n);
    case Value::VT_UINT:
        return value_of<unsigned int>(p, n);
    case Value::VT_FLOAT:
        return value_of<float>(p, n);
    case Value::VT_DOUBLE:
        return value_of<double>(p, n);
    case Value::VT_INT64:
        return Value(static_cast<long long>(p.get<int64_t>(n)));
    case Value::VT_UINT64:
        return Value(static_cast<unsigned long long>(p.get<uint64_t>(n)));
    case Value::VT_STRING:
        return value_of<std::string>(p, n);
    case Value::VT_BOOL:
        return value_of<bool>(p, n);
    default:
        say("** Argv get: '%s' exist!  but not type: string,bool,int,uint,int64,float,double\n", n);
        return def;
    }
}

bool Argv::parse(int argc, char** argv) { return parser_ && parser_->parse(argc, argv); }

bool Argv::exist(const char* name)
{
    if (!parser_)
        return false;
    try {
        return parser_->exist(text_of(name));
    } catch (const cmdline::cmdline_error&) {
        return false;
    }
}

std::string Argv::usage() { return parser_ ? parser_->usage() : std::string(); }

Abstract_Argv* Argv::create() { return new Argv(owner); }

void Argv::destroy(Abstract_Argv** argv)
{
    if (!argv || !*argv)
        return;
    delete *argv;
    *argv = nullptr;
}

} // namespace bg
