#pragma once
// Every syntax and type error of the SQL layer is engine error 11949; its
// message is "SQL - " followed by the text given here (cut to 255 characters
// when stored, to 127 in the exception's message).

#include <string_view>

namespace quire {

[[noreturn]] void RaiseSqlError(std::string_view text);

}  // namespace quire
