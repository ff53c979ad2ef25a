// A button of an applet (catalogue class NorvButton). Buttons are not host
// objects: a button stands for one position in the applet's parallel lists
// "ButtonNames", "ButtonDisplayNames", "ButtonStates" and "ButtonHTMLIds",
// and talks to the applet's host object.
#pragma once

#include "objects/nvtrxcontrol.h"

class CNVTRXButton : public CNVTRXControl {
 public:
  CNVTRXButton(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetNWEChildren(TrxHostObjects& children) override;
  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

 private:
  TRXRESULT GetClassName(VARIANT* value);
  TRXRESULT GetRepositoryName(VARIANT* value);
  TRXRESULT GetUIName(VARIANT* value);
  TRXRESULT GetIsEnabled(VARIANT* value);
  TRXRESULT GetHtmlId(VARIANT* value);

  static const TrxOwnProperty<CNVTRXButton> kOwnProperties[];

  TrxString m_strDisplayName;
  LONG m_nButtonCount = 0;
  LONG m_nButtonIndex = -1;
};
