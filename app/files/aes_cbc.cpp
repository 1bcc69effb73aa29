#include "app/files/aes_cbc.h"

#include <cstring>
#include <new>

#include "app/files/wipe_memory.h"
#include "platform/os_seam.h"

namespace {

bool Emit(AesCbcWriter* w, const void* bytes, std::size_t count) {
    if (count == 0 || w->failed) return !w->failed;
    if (!w->write(bytes, count, w->user)) w->failed = true;
    return !w->failed;
}

void WriteIvOnce(AesCbcWriter* w) {
    if (w->ivWritten) return;
    w->ivWritten = true;
    Emit(w, w->chain, 16);
}

void FlushBuffer(AesCbcWriter* w) {
    Emit(w, w->buffer, w->bufferedBlocks * 16);
    w->bufferedBlocks = 0;
}

void EncryptBlock(AesCbcWriter* w, const std::uint8_t* plain) {
    std::uint8_t mixed[16];
    for (int i = 0; i < 16; ++i) mixed[i] = plain[i] ^ w->chain[i];
    Aes_EncryptBlock(&w->schedule, w->rounds, mixed, w->chain);
    WipeMemory(mixed, sizeof mixed);
    std::memcpy(w->buffer + 16 * w->bufferedBlocks, w->chain, 16);
    if (++w->bufferedBlocks == sizeof w->buffer / 16) FlushBuffer(w);
}

bool ValidKeyLength(std::size_t length) { return length == 16 || length == 24 || length == 32; }

}  // namespace

bool AesCbc_RandomBytes(void* buffer, std::size_t count) { return os::RandomBytes(buffer, count); }

AesCbcWriter* AesCbc_NewWriter(AesCbcWriteFunction write, void* user) {
    auto* w = new (std::nothrow) AesCbcWriter();
    if (!w) return nullptr;
    w->write = write;
    w->user = user;
    if (!AesCbc_RandomBytes(w->chain, sizeof w->chain)) {
        WipeMemory(w, sizeof *w);
        delete w;
        return nullptr;
    }
    return w;
}

bool AesCbc_SetKey(AesCbcWriter* writer, const std::uint8_t* key, std::size_t length) {
    if (!key || !ValidKeyLength(length)) return false;
    writer->rounds = Aes_SetEncryptKey(&writer->schedule, key, static_cast<int>(8 * length));
    return writer->rounds != 0;
}

bool AesCbc_Write(AesCbcWriter* w, const void* bytes, std::size_t count) {
    if (w->rounds == 0) return false;
    WriteIvOnce(w);
    const std::uint8_t* in = static_cast<const std::uint8_t*>(bytes);
    if (w->partialCount + count < 16) {
        if (count) std::memcpy(w->partial + w->partialCount, in, count);
        w->partialCount += count;
        return !w->failed;
    }
    if (w->partialCount > 0) {
        std::size_t take = 16 - w->partialCount;
        std::memcpy(w->partial + w->partialCount, in, take);
        EncryptBlock(w, w->partial);
        in += take;
        count -= take;
        w->partialCount = 0;
    }
    for (; count >= 16; in += 16, count -= 16) EncryptBlock(w, in);
    if (count) std::memcpy(w->partial, in, count);
    w->partialCount = count;
    return !w->failed;
}

bool AesCbc_FreeWriter(AesCbcWriter* w) {
    if (!w) return false;
    bool ok = false;
    if (w->rounds != 0) {
        WriteIvOnce(w);
        const std::uint8_t pad = static_cast<std::uint8_t>(16 - w->partialCount);
        std::memset(w->partial + w->partialCount, pad, pad);
        EncryptBlock(w, w->partial);
        FlushBuffer(w);
        ok = !w->failed;
    }
    WipeMemory(w, sizeof *w);
    delete w;
    return ok;
}

AesCbcReader* AesCbc_NewReader() { return new (std::nothrow) AesCbcReader(); }

bool AesCbc_SetDecryptKey(AesCbcReader* reader, const std::uint8_t* key, std::size_t length) {
    if (!key || !ValidKeyLength(length)) return false;
    reader->rounds = Aes_SetDecryptKey(&reader->schedule, key, static_cast<int>(8 * length));
    return reader->rounds != 0;
}

long long AesCbc_PlainLength(const AesCbcReader* reader, const std::uint8_t* body,
                             std::size_t bodyLength) {
    if (reader->rounds == 0 || bodyLength % 16 != 0 || bodyLength < 32) return -1;
    std::uint8_t last[16];
    Aes_DecryptBlock(&reader->schedule, reader->rounds, body + bodyLength - 16, last);
    const unsigned pad = last[15] ^ body[bodyLength - 17];
    WipeMemory(last, sizeof last);
    // Only the last pad byte is checked: the others are not looked at.
    if (pad < 1 || pad > 16) return -1;
    return static_cast<long long>(bodyLength - 16 - pad);
}

bool AesCbc_DecryptAll(const AesCbcReader* reader, const std::uint8_t* body,
                       std::size_t bodyLength, std::uint8_t* output) {
    long long plainLength = AesCbc_PlainLength(reader, body, bodyLength);
    if (plainLength < 0) return false;
    std::size_t remaining = static_cast<std::size_t>(plainLength);
    std::uint8_t block[16];
    for (std::size_t at = 16; at < bodyLength; at += 16) {
        Aes_DecryptBlock(&reader->schedule, reader->rounds, body + at, block);
        std::size_t take = remaining < 16 ? remaining : 16;
        for (std::size_t i = 0; i < take; ++i) output[at - 16 + i] = block[i] ^ body[at - 16 + i];
        remaining -= take;
    }
    WipeMemory(block, sizeof block);
    return true;
}

void AesCbc_FreeReader(AesCbcReader* reader) {
    if (!reader) return;
    WipeMemory(reader, sizeof *reader);
    delete reader;
}
