#pragma once

// Ctrl+C (SIGINT) and SIGTERM end a command cleanly instead of killing it:
// the handler only raises a flag that the command's loop looks at.
namespace interrupt {

void install();
bool requested();

} // namespace interrupt
