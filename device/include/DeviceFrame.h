#pragma once

#include "AbstractDataLink.h"

#include <QByteArray>

#include <cstdint>

// The device frame every link carries, little-endian:
//   u16 magic 0xABCD | u16 channel | u16 length (whole frame, 6..1024) | payload (0..1018 bytes)
namespace deviceframe {

constexpr std::uint16_t Magic = 0xABCD;
constexpr int HeaderSize = 6;
constexpr int MaxFrameSize = 1024;
constexpr int MaxPayloadSize = MaxFrameSize - HeaderSize; // 1018

// Header + payload. The caller keeps the payload within MaxPayloadSize; a longer one yields an
// empty array.
QByteArray buildFrame(DatalinkChannelId channel, const QByteArray &payload);

} // namespace deviceframe
