#pragma once
// The screenshot's PNG: 8-bit palette indices, no filter, deflate at level 9, IDAT chunks of
// 262143 bytes but the last.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

namespace excreport {

// CRC-32 of PNG chunks (table made on first use).
uint32_t PngCrc32(const uint8_t* data, size_t length, uint32_t crc = 0);
// The file of an image of palette indices (rows of Stride bytes, top row first) and 256 colours
// (0xRRGGBB).
QByteArray EncodeIndexedPng(int width, int height, const uint8_t* indices, qsizetype stride,
                            const std::array<uint32_t, 256>& palette);
// The image reduced to 256 colours, as that file.
QByteArray ScreenshotPng(const QImage& image);
// Writes the file; nothing when the name is empty. False when it could not be written.
bool SaveScreenshotPNG(const QImage& image, const QString& fileName);

} // namespace excreport
