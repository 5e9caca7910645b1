#pragma once

// Ends every session that a child process of ours leads, with all it started inside: the login
// shell runs in one, and at quit a shell whose start-up files still wait must not outlive us.
// Other children (git, ps) are left alone: their own time limits end them.
void endChildSessions();
