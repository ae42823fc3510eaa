#pragma once
// Fills the livery code's window seam with the main window's effects.

void gf_installLiveryWindow();
