// The tree of an applet (catalogue class NorvTree). Nodes are named by
// their position ("1", "1.2", "1.2.1" ...), which every node read passes to
// the host as its one auxiliary parameter.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXTree : public CNVTRXAutomation {
 public:
  CNVTRXTree(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT GetProperty(const VARIANT& name, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

 private:
  TRXRESULT GetActiveTreeItem(VARIANT* value);
  TRXRESULT IsExpanded(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsSelected(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetChildCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsExists(const VARIANT& arguments, VARIANT* result);
  // The node property at `position`: false when the host cannot answer.
  bool ReadNode(const OLECHAR* property, const VARIANT& position, TrxVariant& value);

  static const TrxOwnProperty<CNVTRXTree> kOwnProperties[];
  static const TrxOwnMethod<CNVTRXTree> kOwnMethods[];
};
