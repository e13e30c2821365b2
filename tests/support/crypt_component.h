#pragma once

#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

// A root component that carries only the framework's crypt service, published as CD for the life of the
// object: for tests of code that reaches the crypt service through CD without bringing up the whole bridge.
class CryptComponent : public bg::Interface {
public:
    CryptComponent()
    {
        crypt = &m_crypt;
        m_previous = CD;
        CD = this;
    }
    ~CryptComponent() override { CD = m_previous; }

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
    bg::Interface* m_previous = nullptr;
};
