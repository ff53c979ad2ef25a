// Keyboard accelerators of the application: playing "ProcessKeyboardAccelerator"
// (the key text such as "Ctrl+Shift+N" becomes one host request; F2 first
// moves the focus to the field its focus path names) and turning a recorded
// accelerator request back into that call.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXApplication;

class CNVTRXAccelerators {
 public:
  explicit CNVTRXAccelerators(CNVTRXApplication& application) : m_app(application) {}

  // Plays the accelerator of `arguments` (keys, and for F2 a focus path
  // "Applet.Control" or "Applet.List.Column").
  TRXRESULT Play(const VARIANT& arguments);
  // The method and arguments that replay a recorded accelerator request;
  // -1014 (method empty) for a key that cannot be written as text.
  TRXRESULT Convert(CNVTRXArray& hostArguments, TrxString& methodName, CNVTRXArray& arguments);

 private:
  TRXRESULT FocusForF2(CNVTRXArray& arguments);
  TRXRESULT F2FocusPath(TrxString& path);

  CNVTRXApplication& m_app;
};
