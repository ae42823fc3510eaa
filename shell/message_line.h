#pragma once
// The window's message line: a message on green that ages out after 25
// one-second beats, or an error on red that stays and holds back every
// message until it is cleared. Any thread may show; only the window thread draws.

// Makes the core's gf_showMessage, gf_showError and gf_clearMessage reach this line.
void gf_installMessageLine();

// The age rule, once per one-second beat of the main loop.
void gf_messageSecondTick();

// Empties the error (and the message): for the few operations that clear errors.
void gf_clearError();

// Draws the line on the paint device context under the message mutex; part
// of the paint handler.
void gf_paintMessageLine();
