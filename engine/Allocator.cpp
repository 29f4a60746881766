#include "engine/Allocator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/EngineError.h"

namespace quire {
namespace {

std::uint8_t* AllocateZeroed(std::size_t size) {
  void* memory = size <= kMaxEngineBufferSize ? std::calloc(size, 1) : nullptr;
  if (memory == nullptr) RaiseEngineError(err::OutOfMemory);
  return static_cast<std::uint8_t*>(memory);
}

}  // namespace

void TEngineBuffer::FreeBytes::operator()(std::uint8_t* bytes) const noexcept {
  std::free(bytes);
}

TEngineBuffer::TEngineBuffer(std::size_t size) {
  if (size == 0) return;
  bytes_.reset(AllocateZeroed(size));
  size_ = size;
}

TEngineBuffer::TEngineBuffer(TEngineBuffer&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)) {}

TEngineBuffer& TEngineBuffer::operator=(TEngineBuffer&& other) noexcept {
  bytes_ = std::move(other.bytes_);
  size_ = std::exchange(other.size_, 0);
  return *this;
}

void TEngineBuffer::Resize(std::size_t size) {
  if (size == size_) return;
  TEngineBuffer resized(size);
  if (size_ != 0 && size != 0) std::memcpy(resized.data(), data(), std::min(size, size_));
  *this = std::move(resized);
}

}  // namespace quire
