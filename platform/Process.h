// Services of the process itself rather than of the machine: OLE on the window thread.
#pragma once

namespace rundix {

// OleInitialize(NULL) / OleUninitialize on the calling thread. The result of initialising is
// only informative: the program goes on either way.
bool OleInitializeThread();
void OleUninitializeThread();
// How many initialisations of this process are not yet undone (tests read it).
int OleInitializeBalance();

}  // namespace rundix
