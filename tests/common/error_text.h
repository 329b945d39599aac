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

// Whether `text` holds `part`; for an empty part, whether `text` is empty.
inline bool mentions(const std::string& text, const std::string& part) {
    return part.empty() ? text.empty() : text.find(part) != std::string::npos;
}
