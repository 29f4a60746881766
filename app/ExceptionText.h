#pragma once
// The text an error box shows for an exception.

#include <QString>
#include <exception>

namespace lyrabook {

// The message of `error`: what() of a std::exception (UTF-8), or a fixed text
// for anything else.
QString ExceptionText(std::exception_ptr error);

}  // namespace lyrabook
