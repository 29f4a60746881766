#pragma once
// The binary filter buffer: a filter expression in a self-contained form
// that the dataset layer builds (TFilterExpr) and the engine decodes into an
// expression tree (DecodeFilterBuffer). All integers are little-endian.
//
//   header      u16 version (0), u16 total size, u16 node count (always
//               0xFFFF: the reader walks the tree instead), u16 offset of the
//               node area (10), u16 offset of the literal area
//   node area   nodes, each u32 class, u32 operator, then u16 operands;
//               node references are offsets into the node area, and a node
//               always stands before its operands, so the root is at 0
//   literals    zero-terminated field names and constant value bytes;
//               literal references are offsets into this area
//
// class       operator            operands
// unary       1, 2 (NULL tests), 9 the operand node
// binary      3..8, 10, 11        left node, right node
// compare     3, 4                case flag (0/1), partial length (0: all),
//                                 field node, string constant node
// field       13                  field number, literal offset of the name
// constant    14                  data type, size, literal offset of value
//
// Constant values are the field type's bytes, except that a boolean true is
// all bits set and a BCD value is its amount in 1/10000 units as a signed
// 64-bit integer. A string constant of size 1 (empty text) stands for NULL.

#include <cstddef>
#include <cstdint>

namespace quire {

enum class TFilterNodeClass : std::uint32_t {
  Unary = 1,
  Binary = 2,
  Compare = 3,
  Field = 4,
  Constant = 5,
};

namespace filterbuffer {
inline constexpr std::uint16_t kVersion = 0;
inline constexpr std::uint16_t kUnknownNodeCount = 0xFFFF;
inline constexpr std::size_t kHeaderSize = 10;
// Header field offsets.
inline constexpr std::size_t kTotalSizeAt = 2;
inline constexpr std::size_t kNodeCountAt = 4;
inline constexpr std::size_t kNodeAreaAt = 6;
inline constexpr std::size_t kLiteralAreaAt = 8;
// Class and operator before the operands.
inline constexpr std::size_t kNodeHeadSize = 8;
inline constexpr std::uint32_t kFieldOperator = 13;
inline constexpr std::uint32_t kConstantOperator = 14;
// Sizes and offsets are 16-bit, so no buffer can be larger.
inline constexpr std::size_t kMaxSize = 0xFFFF;
// The longest string constant, without its terminator.
inline constexpr std::size_t kMaxStringConstant = 255;
// The deepest tree a buffer may hold (the root is at depth 1): the engine
// evaluates trees recursively, so a writer refuses deeper ones and a reader
// does not follow them.
inline constexpr int kMaxDepth = 1000;
}  // namespace filterbuffer

// The operands a node of `nodeClass` carries; 0 for an unknown class.
constexpr std::size_t OperandCountOf(TFilterNodeClass nodeClass) {
  switch (nodeClass) {
    case TFilterNodeClass::Unary:
      return 1;
    case TFilterNodeClass::Binary:
    case TFilterNodeClass::Field:
      return 2;
    case TFilterNodeClass::Compare:
      return 4;
    case TFilterNodeClass::Constant:
      return 3;
  }
  return 0;
}

}  // namespace quire
