#pragma once
// TFilterExpr: turns a parsed dataset filter expression (TExprNode tree)
// into a binary filter buffer (FilterBuffer.h) for a table's fields, and
// builds the buffers with which a dataset locates records by field values.
//
// A tree is written as a condition:
//   field alone       must be a boolean field; written as field = true
//   constant alone    "Incorrectly formed filter expression"
//   AND, OR, NOT      the operands written as conditions
//   comparison        a constant on the left of a field changes sides with
//                     the operator mirrored (5 < Qty is Qty > 5); then:
//     field, field    compared as they stand
//     field, NULL     = is a NULL test, <> a NOT NULL test, any other
//                     operator "NULL only allowed with '=' and '<>'"
//     string field = or <> a non-empty text, when the options ask for case
//                     folding, the node is partial, or (unless partial
//                     compares are off) the text is longer than one
//                     character and ends in "*": a compare with options,
//                     over the text before the "*" (partial), or over the
//                     whole text
//     field, constant the constant converted to the field's type
//                     (FilterConstantConversion.h)
// Every failure is an EDatabaseError with the dataset layer's texts; field
// names not among the fields raise "Field '%s' not found".
//
// Field names and string constants pass unchanged: the table dataset stores
// string values without code page conversion, so a filter matches the
// bytes it stores.

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DataFileHeader.h"
#include "engine/FormatSettings.h"
#include "sql/ExprNode.h"

namespace quire {

using TFilterOptions = std::uint8_t;
// Compare strings ignoring the case of A-Z.
inline constexpr TFilterOptions foCaseInsensitive = 1;
// A trailing "*" is part of the text rather than a partial-match mark.
inline constexpr TFilterOptions foNoPartialCompare = 2;

// The message for a tree too large for the 16-bit offsets of a filter
// buffer, or nested deeper than it may be (filterbuffer::kMaxDepth).
inline constexpr std::string_view kFilterTooComplex = "Filter expression too complex";

class TFilterExpr {
 public:
  // Works for a table whose logical fields are `fields` (kept by reference:
  // they must outlive this object). Date, time and number texts are read
  // with `settings`.
  TFilterExpr(const std::vector<TFieldDescriptor>& fields, TFilterOptions options,
              TFormatSettings settings = CurrentFormatSettings());

  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;

  // A node owned by this object until it ends.
  TExprNode& NewNode(TExprNodeKind kind, std::uint8_t code, TValue value, TExprNode* left = nullptr,
                     TExprNode* right = nullptr);

  // The buffer of the condition `root` (see above).
  std::vector<std::uint8_t> GetFilterData(const TExprNode& root);

  TFilterOptions Options() const { return options_; }

 private:
  class TWriter;

  const std::vector<TFieldDescriptor>& fields_;
  TFilterOptions options_;
  TFormatSettings settings_;
  std::deque<TExprNode> nodes_;  // in creation order, freed together
};

// One field and the value a locate or lookup looks for in it.
struct TLocateValue {
  std::string FieldName;
  TValue Value;  // a text, a typed value, or null for a blank field
};

// The buffer that finds the records whose fields hold `values`: one
// field = value comparison per entry, joined by AND in the order given,
// with partial compares by "*" off; `partialKey` makes the last comparison
// a partial one over the whole length of its (string) value.
std::vector<std::uint8_t> BuildLocateFilter(const std::vector<TFieldDescriptor>& fields,
                                            std::span<const TLocateValue> values,
                                            bool caseInsensitive, bool partialKey,
                                            TFormatSettings settings = CurrentFormatSettings());

}  // namespace quire
