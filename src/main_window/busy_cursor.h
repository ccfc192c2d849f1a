#pragma once

#include "main_window/main_window_port.h"

namespace quorix {

// Shows the busy cursor for a scope and restores it on every way out.
class BusyCursor {
public:
    explicit BusyCursor(MainWindowPort& port) : m_port(port) { m_port.setBusyCursor(true); }
    ~BusyCursor() { m_port.setBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    MainWindowPort& m_port;
};

}  // namespace quorix
