#pragma once
// Decoding a filter buffer (FilterBuffer.h) into the expression tree that a
// TFilter answers, bound to a table's logical fields.
//
// Unary and binary nodes keep their operator; a compare node becomes an
// nkCompare node with its partial length and case flag; a field node
// becomes a column node found by its name among the fields (the stored
// field number is not used: the buffer may come from a dataset whose field
// numbering differs); a constant node becomes a constant, an empty string
// standing for NULL.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "sql/QueryExprNode.h"

namespace quire {

// Raises engine error 10051 with `fileName` for a buffer that does not
// decode: a wrong header, a reference outside its area or not after the
// node that makes it, an unknown class, operator or data type, a literal
// without its terminator or beyond the buffer, a field name the table does
// not have, a compare node over anything but a string field and a
// non-empty string, or a tree deeper than filterbuffer::kMaxDepth.
TExprTree DecodeFilterBuffer(std::span<const std::uint8_t> buffer,
                             const std::vector<TFieldDescriptor>& fields,
                             std::string_view fileName);

}  // namespace quire
