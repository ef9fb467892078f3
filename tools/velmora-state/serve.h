// velmora-state serve: the helper that answers a console run's requests (serve.cpp).
#ifndef VELMORA_TOOLS_STATE_SERVE_H
#define VELMORA_TOOLS_STATE_SERVE_H

#include "platform/win32/win32.h"

// What the helper answers to "hello", so that a console meets a helper that speaks its protocol.
constexpr const char kServeProtocol[] = "velmora-state serve 1";

// Answers requests on standard input until its end; the exit status.
int serve();

#endif
