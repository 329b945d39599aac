// Every failure is an exception carrying the text the author sees.
#pragma once

#include <stdexcept>
#include <string>

namespace slv {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace slv
