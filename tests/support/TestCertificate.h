#pragma once

#include "LoopbackHttpServer.h"

namespace mintlux::test {

// A throw-away self-signed certificate for 127.0.0.1, made once per test run with the openssl
// command-line tool; fails the calling test if the tool is missing.
const LoopbackHttpServer::TlsIdentity& loopbackTlsIdentity();

}  // namespace mintlux::test
