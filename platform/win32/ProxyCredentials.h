// A proxy's request for credentials (407) that WinINet could not answer with
// what the system holds: its own credential dialog asks the player, over the
// program's window. What the player gives is kept for the rest of the run
// and set on every later request that may meet the proxy, so the player is
// asked once, not for the configuration and again for the setup program.
// Cancelled once, the dialog is not shown again in this run, so the
// configuration's ten tries do not ask ten times.
#pragma once

#include "platform/win32/WinHandles.h"

// Sets the credentials the player gave earlier in this run, if any, on a
// request before it is sent.
void ApplyGivenProxyCredentials(HINTERNET request);

// True when the player gave credentials and the request is to be sent
// again (they are set on the request); false when declined, or when the
// program has no window to show the dialog over.
bool AskForProxyCredentials(HINTERNET request);
