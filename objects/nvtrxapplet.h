// An applet of a view (catalogue class NorvApplet): a form or a list. It
// decides from a host control's "Type" which class the control becomes,
// builds its buttons from its button lists, and answers the counts, names
// and existence of its controls.
#pragma once

#include "model/nvtrxautomation.h"

class CNVTRXApplet : public CNVTRXAutomation {
 public:
  CNVTRXApplet(TrxStringView name, CNVTRXAutomation* parent);

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT GetObjectFromId(TrxString htmlId, bool& found, CNVTRXAutomation*& object) override;
  TRXRESULT BuildTRXObjectHierarchy() override;
  TRXRESULT GetChildren(const VARIANT& argument, VARIANT* value) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;

  // The catalogue class a host control "Type" is built as, and counted or
  // named as; nullptr (built) or empty (named) when it has none.
  static const OLECHAR* BuiltClass(TrxStringView type);
  static const OLECHAR* NamedClass(TrxStringView type);

 private:
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT IsControlExists(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetActiveControl(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  // The buttons' names; the caller's mistake (+103) when they cannot be read.
  TRXRESULT ButtonNames(std::vector<TrxString>& names, const OLECHAR* what = OLESTR("ButtonNames"));
  // The list control "NorvList": whether it exists (106 when not, as the
  // caller's mistake) and whether it has columns.
  TRXRESULT ListHasColumns(bool& hasColumns);
  // The controls of the applet whose type is named as `className`, in order.
  TRXRESULT ControlsOfClass(TrxStringView className, std::vector<TrxString>& names, const OLECHAR* typeFailure);
  // Builds the one button per button name; the first failure ends it.
  TRXRESULT BuildButtons(bool walk);

  static const TrxOwnMethod<CNVTRXApplet> kOwnMethods[];
};
