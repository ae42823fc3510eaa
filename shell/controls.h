#pragma once
// The setting controls of the main window: one check box, edit box or push
// button per bound parameter, their places in the settings band, the labels
// drawn beside them and the showing of a parameter's value in its edit box.
#include <array>

#include "core/parameters.h"
#include "platform/window.h"

enum class SettingControlKind { CheckBox, TextEdit, NumberEdit, DecimalEdit, Button };

// One control: its parameter (id and row y come from the binding), kind, x and width.
struct SettingControl {
  ControlBinding* binding;
  SettingControlKind kind;
  int x;
  int width;
  WNDPROC subclass;  // an edit box's own procedure; null for the others
};

inline constexpr int kSettingControlCount = 42;

// Every control in creation order.
const std::array<SettingControl, kSettingControlCount>& gf_settingControls();

// The shared procedures of the edit boxes; each box's own subclass procedure
// hands its parameter to the one of its kind. Until they are installed the
// boxes behave as plain edit boxes.
struct EditProcedures {
  LRESULT (*text)(StringEditParameter&, HWND, UINT, WPARAM, LPARAM) = nullptr;
  LRESULT (*numeric)(IntEditParameter&, HWND, UINT, WPARAM, LPARAM) = nullptr;
  LRESULT (*decimal)(FloatEditParameter&, HWND, UINT, WPARAM, LPARAM) = nullptr;
};
// Window thread, before the controls are made.
void gf_setEditProcedures(const EditProcedures& procedures);

// WM_CREATE: makes the controls, points the parameters' control hooks at them
// and invalidates the settings band.
void lf_createControls(HWND parent, const CREATESTRUCTW* create);

// The parameter's current value into its edit box, and a repaint of the
// settings band; any thread. Nothing is saved.
void gf_showIntParameter(const IntEditParameter& parameter);
void gf_showFloatParameter(const FloatEditParameter& parameter);
void gf_showTextParameter(const StringEditParameter& parameter);
void lf_clearControlText(int controlId);

// Draws the labels beside the controls; part of the paint handler.
void lf_paintLabels();

// Enables or disables a parameter's control once it exists; any thread.
void gf_enableControl(const ControlBinding& binding, bool enable);
