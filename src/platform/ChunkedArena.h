// Append-only storage for many short stretches of text or bytes. Elements live in chunks of
// fixed size that never move, so growing copies nothing already stored and leaves at most
// one chunk partly unused; a stretch is addressed by a 32-bit position.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vcm {

template <class T, unsigned kShift = 15>
class ChunkedArena {
public:
    static constexpr size_t kChunk = size_t{1} << kShift;

    // Copies count elements into one contiguous stretch and returns its position. An empty
    // stretch takes no room and may share its position with another.
    uint32_t Append(const T* data, size_t count)
    {
        if (count == 0)
            return 0;
        if (count > m_end - m_next) {
            // A stretch never straddles two blocks: a new block starts at the next chunk,
            // as many chunks long as the stretch needs.
            const size_t chunks = (count + kChunk - 1) / kChunk;
            const uint64_t first = static_cast<uint64_t>(m_chunks.size()) << kShift;
            if (first + (static_cast<uint64_t>(chunks) << kShift) > (uint64_t{1} << 32))
                throw std::bad_alloc();
            m_blocks.emplace_back(new T[chunks * kChunk]);  // left uninitialised: only written stretches are read
            T* block = m_blocks.back().get();
            for (size_t i = 0; i < chunks; ++i)
                m_chunks.push_back(block + i * kChunk);
            m_next = first;
            m_end = first + (static_cast<uint64_t>(chunks) << kShift);
        }
        const uint32_t position = static_cast<uint32_t>(m_next);
        std::memcpy(Address(position), data, count * sizeof(T));
        m_next += count;
        m_used += count;
        return position;
    }

    // The first element of a stretch; only for a stretch that is not empty.
    const T* At(uint32_t position) const { return m_chunks[position >> kShift] + (position & (kChunk - 1)); }

    size_t Used() const { return m_used; }  // elements in stretches, whether still wanted or not

    void Clear()
    {
        m_chunks.clear();
        m_blocks.clear();
        m_next = m_end = 0;
        m_used = 0;
    }

private:
    T* Address(uint32_t position) { return m_chunks[position >> kShift] + (position & (kChunk - 1)); }

    std::vector<T*> m_chunks;                    // chunk index -> its first element
    std::vector<std::unique_ptr<T[]>> m_blocks;  // a block spans one or more chunks
    uint64_t m_next = 0;                         // position of the next free element
    uint64_t m_end = 0;                          // end of the current block
    size_t m_used = 0;
};

}  // namespace vcm
