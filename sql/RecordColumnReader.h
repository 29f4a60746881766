#pragma once
// Column values of a record buffer for the evaluator: a bound column node's
// FieldNo is a logical field number of the table the buffer belongs to.

#include <span>
#include <vector>

#include "engine/DataFileHeader.h"
#include "sql/Evaluate.h"

namespace quire {

class TRecordColumnReader : public TColumnReader {
 public:
  TRecordColumnReader(const std::vector<TFieldDescriptor>& fields,
                      std::span<const std::uint8_t> record)
      : fields_(fields), record_(record) {}

  TValue Read(const TQueryExprNode& column) override {
    return ReadValue(fields_[column.FieldNo - 1], record_);
  }

 private:
  const std::vector<TFieldDescriptor>& fields_;
  std::span<const std::uint8_t> record_;
};

}  // namespace quire
