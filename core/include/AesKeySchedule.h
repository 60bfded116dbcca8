#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>

// The AES round keys of one key (16, 24 or 32 bytes: AES-128, -192 or -256), expanded once so a
// key that stays the same for many messages (the Wi-Fi datagrams of one connection) is not
// scheduled again for each of them.
//
// Holds the encryption round keys in their standard order and the decryption round keys of the
// equivalent inverse cipher (reversed, InvMixColumns applied to all but the first and the last),
// the form both the AES instructions and the table rounds use. Key material: the object wipes its
// copy when cleared, replaced or destroyed. A plain value; const use from several threads is safe.
class AesKeySchedule
{
public:
    static constexpr int MaxRounds = 14;
    static constexpr int BlockLength = 16;

    AesKeySchedule() = default;
    // A key of any other length gives an invalid schedule.
    explicit AesKeySchedule(const QByteArray &key);
    AesKeySchedule(const AesKeySchedule &other) = default;
    AesKeySchedule &operator=(const AesKeySchedule &other);
    ~AesKeySchedule();

    bool isValid() const { return m_rounds != 0; }
    void clear();

    int keyLength() const { return m_rounds == 0 ? 0 : 4 * (m_rounds - 6); }
    int rounds() const { return m_rounds; }

    // (rounds() + 1) * 16 bytes each.
    const std::uint8_t *encryptionKeys() const { return m_encrypt.data(); }
    const std::uint8_t *decryptionKeys() const { return m_decrypt.data(); }

private:
    using RoundKeys = std::array<std::uint8_t, (MaxRounds + 1) * BlockLength>;
    alignas(16) RoundKeys m_encrypt{};
    alignas(16) RoundKeys m_decrypt{};
    int m_rounds = 0;
};
