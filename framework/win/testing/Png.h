#pragma once
// A small PNG writer: 8-bit RGB, zlib stream of stored (uncompressed) deflate
// blocks, so no compression library is needed.
#include <cstdint>
#include <string>
#include <vector>

// Encodes rows of 0x00RRGGBB pixels (top row first) as a PNG file image.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint32_t>& pixels);
// CRC-32 (PNG chunks) and Adler-32 (zlib) of bytes.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size);
