// Net_Library.h: starting and leaving SDL_net, which both change SIGPIPE's
// disposition for the whole process: the start ignores a SIGPIPE it finds at
// its default, and installs any handler it finds again with signal(), which
// drops the handler's SA_RESETHAND; the end sets an ignored SIGPIPE, the
// caller's own too, to its default. Each call here puts back the disposition
// noted at start, so that a copy whose output reader is gone ends as its
// caller chose: by SIGPIPE, as filters do, or, with SIGPIPE ignored, with its
// reason.
#pragma once

// Notes the SIGPIPE disposition in force now: the caller's, or the handler
// that puts the terminal back before the signal ends the program.
void noteSigpipeDisposition();

// SDLNet_Init, with the noted disposition put back; its result.
int startSdlNet();

// SDLNet_Quit, with the noted disposition put back.
void quitSdlNet();
