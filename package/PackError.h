#pragma once
// A refusal of the packaging step, carrying the one-line reason shown to the user.

#include <stdexcept>

struct PackError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
