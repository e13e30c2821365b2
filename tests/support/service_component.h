#pragma once

#include <bridge/app.h>
#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

// A root component that carries the framework's crypt service and application info ("Tavimeet", "1.0.0"),
// published as CD for the life of the object: for tests of code that reaches them through CD without
// bringing up the whole bridge.
class ServiceComponent : public bg::Interface {
public:
    ServiceComponent()
    {
        m_app.set_name("Tavimeet");
        m_app.set_version("1.0.0");
        crypt = &m_crypt;
        app = &m_app;
        m_previous = CD;
        CD = this;
    }
    ~ServiceComponent() override { CD = m_previous; }

    bool init() override { return true; }
    bool start() override { return true; }
    bool uninit() override { return true; }
    bg::Value process(const char*, int, const bg::Value&, const bg::MsgCallback&) override
    {
        return bg::Value();
    }
    bg::Value send(const char*, int, const bg::Value&, const bg::MsgCallback&) override
    {
        return bg::Value();
    }
    bool is_debug() override { return false; }

private:
    bg::Crypt m_crypt;
    bg::App m_app;
    bg::Interface* m_previous = nullptr;
};
