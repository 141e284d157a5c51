#include "chunk.h"

#include <cstring>
#include <string>

#include "catalog_error.h"

namespace zefhost::catalog {

namespace {

void put_header(uint8_t *at, uint16_t code, uint32_t length) {
    at[0] = static_cast<uint8_t>(code);
    at[1] = static_cast<uint8_t>(code >> 8);
    at[2] = static_cast<uint8_t>(length);
    at[3] = static_cast<uint8_t>(length >> 8);
    at[4] = static_cast<uint8_t>(length >> 16);
    at[5] = static_cast<uint8_t>(length >> 24);
}

Block header_at(const uint8_t *at) {
    return Block{static_cast<uint16_t>(at[0] | at[1] << 8),
                 static_cast<uint32_t>(at[2]) | static_cast<uint32_t>(at[3]) << 8 |
                     static_cast<uint32_t>(at[4]) << 16 | static_cast<uint32_t>(at[5]) << 24,
                 at + kBlockHeader};
}

[[noreturn]] void damaged_chunk(const std::string &why) {
    fail(zef::kCatalogDamaged, "damaged chunk: " + why);
}

}  // namespace

Block ChunkReader::peek() const {
    if (static_cast<size_t>(end_ - next_) < kBlockHeader) damaged_chunk("cut block header");
    Block block = header_at(next_);
    if (static_cast<size_t>(end_ - block.data) < block.length) damaged_chunk("cut block");
    return block;
}

Block ChunkReader::next() {
    Block block = peek();
    pass(block);
    return block;
}

void ChunkReader::skip(int64_t count) {
    for (int64_t i = 0; i < count; ++i) next();
}

ChunkBuilder::ChunkBuilder() { bytes_.reserve(kChunkTarget + 1024); }

void ChunkBuilder::clear() {
    bytes_.clear();
    offsets_.clear();
    payload_ = 0;
    longest_ = 0;
}

std::vector<uint8_t> ChunkBuilder::release_bytes() {
    // Room for the next chunk first: when memory for it is refused, the
    // bytes are still here, not lost with the failure.
    std::vector<uint8_t> out;
    out.reserve(kChunkTarget + 1024);
    out.swap(bytes_);
    clear();
    return out;
}

void ChunkBuilder::load(std::span<const uint8_t> bytes, int64_t expected_blocks) {
    clear();
    bytes_.assign(bytes.begin(), bytes.end());
    recount();
    if (static_cast<int64_t>(offsets_.size()) != expected_blocks)
        damaged_chunk("holds " + std::to_string(offsets_.size()) + " blocks, not " +
                      std::to_string(expected_blocks));
}

void ChunkBuilder::append(uint16_t code, const void *data, uint32_t length) {
    size_t at = bytes_.size();
    // Inserted, not resized and then copied over: a resize would first zero
    // every byte of the block, once more per record.
    uint8_t header[kBlockHeader];
    put_header(header, code, length);
    bytes_.insert(bytes_.end(), header, header + kBlockHeader);
    const auto *bytes = static_cast<const uint8_t *>(data);
    if (length) bytes_.insert(bytes_.end(), bytes, bytes + length);
    offsets_.push_back(static_cast<uint32_t>(at));
    payload_ += length;
    if (length > longest_) longest_ = length;
}

void ChunkBuilder::replace(size_t index, uint16_t code, const void *data, uint32_t length) {
    Block old = block(index);
    size_t at = offsets_[index];
    size_t old_size = kBlockHeader + old.length;
    std::vector<uint8_t> rebuilt;
    rebuilt.reserve(bytes_.size() - old_size + kBlockHeader + length);
    rebuilt.insert(rebuilt.end(), bytes_.begin(), bytes_.begin() + static_cast<ptrdiff_t>(at));
    rebuilt.resize(at + kBlockHeader + length);
    put_header(rebuilt.data() + at, code, length);
    if (length) std::memcpy(rebuilt.data() + at + kBlockHeader, data, length);
    rebuilt.insert(rebuilt.end(), bytes_.begin() + static_cast<ptrdiff_t>(at + old_size), bytes_.end());
    bytes_.swap(rebuilt);
    recount();
}

Block ChunkBuilder::block(size_t index) const { return header_at(bytes_.data() + offsets_[index]); }

// Rebuilds the block offsets and the totals from the bytes.
void ChunkBuilder::recount() {
    offsets_.clear();
    payload_ = 0;
    longest_ = 0;
    ChunkReader reader;
    reader.reset(bytes_);
    const uint8_t *base = bytes_.data();
    size_t offset = 0;
    while (!reader.at_end()) {
        Block b = reader.next();
        offsets_.push_back(static_cast<uint32_t>(offset));
        offset = static_cast<size_t>(b.data - base) + b.length;
        payload_ += b.length;
        if (b.length > longest_) longest_ = b.length;
    }
}

}  // namespace zefhost::catalog
