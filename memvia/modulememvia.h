#pragma once

#include "memviaobj.h"

#include <bridge/bridge_b.h>

// The plug-in's component, "Memvia": made once by get_component and never destroyed. The framework fills
// its service pointers, then calls init and start; every command arrives through process, on the GUI
// thread. Commands answer through their callback, never through the result, which is always the module's
// own address.
class ModuleMemvia : public bg::Bridge_B {
public:
    explicit ModuleMemvia(bg::Interface* admin);
    ~ModuleMemvia() override;

    bool init() override;
    bool start() override;
    bool uninit() override;
    bg::Value process(const char* from, int id, const bg::Value& msg, const bg::MsgCallback& cb) override;
    bool is_debug() override;

    MemviaObj& object() { return m_object; }

private:
    void showMessage(int id, const bg::Value& msg, const bg::MsgCallback& cb);
    void login(int id, const bg::Value& msg, const bg::MsgCallback& cb);
    void logout(const bg::MsgCallback& cb);
    void showDialog(int id, const bg::Value& msg);

    MemviaObj m_object;
};
