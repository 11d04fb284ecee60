#pragma once

// The TLS module's entry points: plain C, so that the module needs nothing of the app's and the
// app nothing of the network library the module links.
extern "C" {

struct MintluxTlsEvents {
    void* context;
    void (*connected)(void* context);  // the handshake is done
    void (*readable)(void* context);
    void (*closed)(void* context);
    // `fault` is a mintlux::NetworkFault; `message` is UTF-8, valid during the call.
    void (*failed)(void* context, int fault, const char* message);
};

// The stream calls `events` until it is closed; closing it from inside a callback is allowed.
using MintluxTlsOpen = void*(const char* host, unsigned short port, const MintluxTlsEvents* events);
using MintluxTlsWrite = void(void* stream, const char* data, long long size);
// Up to `max` bytes; 0 when none are waiting.
using MintluxTlsRead = long long(void* stream, char* data, long long max);
using MintluxTlsClose = void(void* stream);
using MintluxTlsVersion = const char*();
}

namespace mintlux::tls {
inline constexpr char kOpenSymbol[] = "mintluxTlsOpen";
inline constexpr char kWriteSymbol[] = "mintluxTlsWrite";
inline constexpr char kReadSymbol[] = "mintluxTlsRead";
inline constexpr char kCloseSymbol[] = "mintluxTlsClose";
inline constexpr char kVersionSymbol[] = "mintluxTlsVersion";
}  // namespace mintlux::tls
