"""AES-256-CBC on the datagram path. The same key and vector serve every datagram of a connection.

The host pads its datagrams with PKCS#7 (1 to 16 bytes, a whole block when the frame is already a
multiple of 16: a 1024-byte frame becomes 1040 bytes). The device pads its own with zero bytes up
to the next multiple of 16, which the host's frame reader skips as trailing zeros.
"""

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

BLOCK = 16


def _cipher(key, iv):
    return Cipher(algorithms.AES(bytes(key)), modes.CBC(bytes(iv)))


def encrypt_device_datagram(data, key, iv, pkcs7=False):
    if pkcs7:
        padder = padding.PKCS7(128).padder()
        padded = padder.update(bytes(data)) + padder.finalize()
    else:
        padded = bytes(data) + bytes((-len(data)) % BLOCK)
    encryptor = _cipher(key, iv).encryptor()
    return encryptor.update(padded) + encryptor.finalize()


def decrypt_host_datagram(datagram, key, iv):
    """Returns (plain, padding_ok). `datagram` must be a non-empty multiple of 16 bytes."""
    decryptor = _cipher(key, iv).decryptor()
    padded = decryptor.update(bytes(datagram)) + decryptor.finalize()
    count = padded[-1]
    if not 1 <= count <= BLOCK or padded[-count:] != bytes([count]) * count:
        return padded, False
    return padded[:-count], True
