#include "index/KeyLayout.h"

#include <algorithm>
#include <cstring>

#include "index/IndexHeader.h"
#include "index/LittleEndian.h"

namespace quire {

namespace {

std::uint64_t Load64(const std::uint8_t* p) {
  return std::uint64_t{le::Load32(p)} | (std::uint64_t{le::Load32(p + 4)} << 32);
}

void PutBigEndian(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
  }
}

std::uint8_t UpperAscii(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

// The value bytes of one part; `out` holds DataSize zero bytes.
void EncodeValue(const TKeyPart& part, const std::uint8_t* value, bool upperCase,
                 std::uint8_t* out) {
  switch (part.fieldType) {
    case 2:   // date
    case 6:   // integer
    case 10:  // time
      PutKeyInt32(out, static_cast<std::int32_t>(le::Load32(value)));
      break;
    case 5:  // small integer
      PutBigEndian(out, le::Load16(value) ^ 0x8000u, 2);
      break;
    case 4:   // boolean
    case 12:  // word
      PutBigEndian(out, le::Load16(value), 2);
      break;
    case 7:     // float and money
    case 11: {  // timestamp
      const std::uint64_t bits = Load64(value);
      double number;
      std::memcpy(&number, &bits, sizeof number);
      // Negative numbers flip every bit so that larger magnitudes sort first;
      // the rest only gain the top bit, which puts them after the negatives.
      PutBigEndian(out, number < 0.0 ? ~bits : bits | (std::uint64_t{1} << 63), 8);
      break;
    }
    case 8:  // BCD, a signed 64-bit integer
      PutBigEndian(out, Load64(value) ^ (std::uint64_t{1} << 63), 8);
      break;
    case kStringFieldType: {
      const std::uint8_t* end = std::find(value, value + part.dataSize, std::uint8_t{0});
      std::uint8_t* to = std::copy(value, end, out);
      if (upperCase) std::transform(out, to, out, UpperAscii);
      break;
    }
    default:  // bytes, unsigned 32-bit, 10-byte float, variable bytes
      std::memcpy(out, value, part.dataSize);
      break;
  }
}

}  // namespace

void PutKeyInt32(std::uint8_t* out, std::int32_t value) {
  PutBigEndian(out, static_cast<std::uint32_t>(value) ^ 0x80000000u, 4);
}

TKeyLayout TKeyLayout::For(std::uint8_t number, const TIndexDescriptor& descriptor,
                           std::span<const TKeyField> fields, bool tableHasLocale) {
  TKeyLayout layout;
  layout.keySize_ = descriptor.KeySize;
  layout.descending_ = descriptor.Descending != 0;
  layout.caseInsensitive_ = descriptor.CaseInsensitive != 0;
  layout.complementDescending_ = !tableHasLocale && !layout.descending_;
  layout.sysDeleted_ = number == kSysDeletedSlot;
  layout.suffix_ = number >= 1 && number < kSysDeletedSlot && descriptor.Unique == 0;
  if (layout.sysDeleted_) return layout;

  layout.partCount_ = std::min<std::size_t>(descriptor.FieldCount, kMaxKeyFields);
  for (std::size_t i = 0; i < layout.partCount_; ++i) {
    TKeyPart& part = layout.parts_[i];
    part.descending = descriptor.FieldDescending[i] != 0;
    const auto it = std::find_if(fields.begin(), fields.end(), [&](const TKeyField& f) {
      return f.FieldNo == descriptor.FieldNumbers[i];
    });
    if (it == fields.end()) continue;
    part.recordOffset = it->FieldOffset;
    part.fieldType = it->FieldType;
    part.dataSize = it->DataSize;
    part.autoIncrement = it->IsAutoIncrement();
  }
  return layout;
}

void TKeyLayout::Build(std::span<const std::uint8_t> record, std::span<std::uint8_t> key) const {
  std::fill(key.begin(), key.end(), std::uint8_t{0});
  std::uint8_t* out = key.data();
  const std::uint8_t* in = record.data();
  if (sysDeleted_) {
    out[0] = in[kRecordDeletedFlagAt];
    PutKeyInt32(out + 1, static_cast<std::int32_t>(le::Load32(in + kRecordAutoIncrementAt)));
    return;
  }
  for (std::size_t i = 0; i < partCount_; ++i) {
    const TKeyPart& part = parts_[i];
    if (part.fieldType != 0) {
      if (part.autoIncrement) {
        out[0] = 1;
        EncodeValue(part, in + part.recordOffset, false, out + 1);
      } else {
        out[0] = in[part.recordOffset];
        EncodeValue(part, in + part.recordOffset + 1, caseInsensitive_, out + 1);
      }
      if (complementDescending_ && part.descending) {
        // A string part's last byte is the slot of its terminator, which the
        // stored format leaves uncomplemented.
        const std::size_t span =
            1 + (part.fieldType == kStringFieldType ? part.dataSize - 1u : part.dataSize);
        for (std::size_t b = 0; b < span; ++b) out[b] = static_cast<std::uint8_t>(~out[b]);
      }
    }
    out += part.dataSize + 1u;
  }
  if (suffix_) {
    PutKeyInt32(out, static_cast<std::int32_t>(le::Load32(in + kRecordAutoIncrementAt)));
  }
}

}  // namespace quire
