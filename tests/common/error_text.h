// The text of the slv::Error a piece of test code throws.
#pragma once

#include <string>

#include "model/errors.h"

// The message of the slv::Error that `f` throws; empty when it throws none.
template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const slv::Error& e) {
        return e.what();
    }
    return "";
}
