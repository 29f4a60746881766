#pragma once
// Engine buffers: zero-filled memory owned by one object. Every buffer the
// engine works in (record images, pages, blocks, lists) comes from here, so
// a failed request is always reported the same way: engine error 11016 with
// empty context texts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quire {

// The largest buffer the engine asks for. Every offset and length in the
// table formats is at most 32 bits wide, so a larger request can only come
// from a size computed from damaged data; it fails like any other request
// the system cannot satisfy instead of exhausting the machine.
inline constexpr std::size_t kMaxEngineBufferSize = std::size_t{1} << 32;

class TEngineBuffer {
 public:
  // An empty buffer; no memory is requested.
  TEngineBuffer() = default;

  // `size` zero bytes. A request of positive size that cannot be satisfied
  // raises 11016; a size of 0 gives an empty buffer.
  explicit TEngineBuffer(std::size_t size);

  // A moved-from buffer is empty.
  TEngineBuffer(TEngineBuffer&& other) noexcept;
  TEngineBuffer& operator=(TEngineBuffer&& other) noexcept;

  // Changes the size, keeping the first min(old, new) bytes; bytes added at
  // the end are zero. Raises 11016 as the constructor does, leaving the
  // buffer as it was.
  void Resize(std::size_t size);

  std::uint8_t* data() { return bytes_.get(); }
  const std::uint8_t* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::span<std::uint8_t> span() { return {bytes_.get(), size_}; }
  std::span<const std::uint8_t> span() const { return {bytes_.get(), size_}; }

 private:
  struct FreeBytes {
    void operator()(std::uint8_t* bytes) const noexcept;
  };

  std::unique_ptr<std::uint8_t[], FreeBytes> bytes_;
  std::size_t size_ = 0;
};

}  // namespace quire
