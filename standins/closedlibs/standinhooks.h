#pragma once

#include <QString>

// Test hooks of the closed-library stand-ins, driven by environment variables so that the
// launcher itself carries no test code:
//   ORLUNE_STANDIN_TRACE          file that receives one line per notable call ("<pid> <text>")
//   ORLUNE_STANDIN_LOGIN          "accept" or "refuse": answer the login form at once
//   ORLUNE_STANDIN_MESSAGEBOX_MS  close every message box after this many milliseconds
//   ORLUNE_STANDIN_MAINFRAME_EXIT "<code>:<ms>": the main frame ends the event loop with <code>
//                                 <ms> after it finished loading; consumed, so a restarted
//                                 client does not inherit it
//   ORLUNE_STANDIN_MAINFRAME_CLOSE_MS  the user closes the main frame this long after it is
//                                 shown, which asks whether to exit the client
//   ORLUNE_STANDIN_MAINFRAME_LINGER_MS  the main frame's destruction takes this long
//   ORLUNE_STANDIN_LOADING_MS     how long loading the main frame takes (default 300)
//   ORLUNE_STANDIN_SERVER_WAIT_MS how long the loading dialog waits for a ready server
//                                 (default 15000)
//   ORLUNE_STANDIN_INIT_FAIL      N: the N-th call of TqLogic::init fails
//   ORLUNE_STANDIN_INIT_AT        the first TqLogic::init returns at this time (milliseconds
//                                 since the epoch), so that clients started one after the
//                                 other check for each other at the same moment
//   ORLUNE_STANDIN_APPDIR         the folder TqLogic takes for the installation's, from the next
//                                 tqParamsMgr() or tqSkinMgr() on (tests)
namespace standin {

void trace(const QString &text);

// The variable's value; empty when unset.
QString hookText(const char *name);
// The variable as a non-negative number; `defaultValue` when unset or not a number.
int hookNumber(const char *name, int defaultValue);

// Quotes a run-time text for a trace line.
QString quoted(const QString &text);

} // namespace standin

class QMessageBox;

namespace standin {

// Runs a modal box, recording it in the trace; closed automatically after
// ORLUNE_STANDIN_MESSAGEBOX_MS when that is set.
int execMessageBox(QMessageBox &box, const QString &kind);

} // namespace standin
