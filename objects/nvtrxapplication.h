// The automation class of the host application and the root of the tree
// (catalogue class NorvApplication). It answers the application's own
// methods, builds its top-level children and converts recorded keyboard
// accelerators. It owns the service-wide state (CNVTRXServiceState) and the
// loaded catalogue.
#pragma once

#include "descriptors/nvtrxdefinitions.h"
#include "model/nvtrxautomation.h"
#include "model/nvtrxservicestate.h"
#include "objects/nvtrxaccelerators.h"

class CNVTRXApplication : public CNVTRXAutomation {
 public:
  CNVTRXApplication(TrxStringView name, CNVTRXAutomation* parent);
  ~CNVTRXApplication() override;

  TRXRESULT CreateChild(TrxStringView className, TrxStringView repositoryName, CNVTRXAutomation** ppChild) override;
  TRXRESULT OnBuildHierarchy(INVAutomation* pNWEAuto, LONG eventId, LONG objectType, INVPropertySet* pEventArgs,
                             CNVTRXAutomation** ppChild) override;
  TRXRESULT HandleAutomationRequest(TrxStringView methodName, const VARIANT& arguments, VARIANT* result) override;
  TRXRESULT ConvertNWEMethod(const VARIANT& first, LONG requestId, CNVTRXArray& hostArguments, TrxString& methodName,
                             CNVTRXArray& arguments) override;

  // The root of the running service, or nullptr.
  static CNVTRXApplication* Current() noexcept;

  void SetNWEAuto(INVAutomation* pNWEAuto);
  void SetRepositoryName(TrxStringView name) { m_strRepositoryName = TrxString(name); }
  // Walks a whole descriptor from the root (its outermost level stands for
  // the application whatever its names).
  TRXRESULT ResolveDescriptor(TrxStringView descriptor, CNVTRXAutomation** ppObject);

  CNVTRXServiceState& State() noexcept { return m_state; }
  const CNVTRXObjectDefinitions& Definitions() const noexcept { return m_definitions; }
  LONG GetSubmitTimeout() const noexcept { return static_cast<LONG>(m_state.GetSubmitTimeout()); }
  void SetSubmitTimeout(LONG milliseconds) noexcept { m_state.SetSubmitTimeout(static_cast<DWORD>(milliseconds)); }
  LONG GetLastErrorCode() const { return m_state.LastError().GetCode(); }
  TrxString GetLastErrorMessage() const { return m_state.LastError().GetText(); }
  void ClearLastError() { m_state.LastError().Clear(); }
  bool IsLoopbackTests() const noexcept { return m_state.IsLoopbackTests(); }

 private:
  friend class CNVTRXAccelerators;

  // The application's own methods.
  TRXRESULT ProcessKeyboardAccelerator(const VARIANT& arguments, VARIANT* result);
  TRXRESULT Sync(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetClassCount(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryNameByIndex(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetRepositoryName(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetLastErrorCode(const VARIANT& arguments, VARIANT* result);
  TRXRESULT GetLastErrorMessage(const VARIANT& arguments, VARIANT* result);
  TRXRESULT SetTimeOut(const VARIANT& arguments, VARIANT* result);

  static const TrxOwnMethod<CNVTRXApplication> kOwnMethods[];

  // The screen the client shows, found among the children or built.
  TRXRESULT CurrentScreen(CNVTRXAutomation** ppScreen, LONG navigationFailureCode);

  CNVTRXServiceState m_state;
  CNVTRXObjectDefinitions m_definitions;
  CNVTRXAccelerators m_accelerators{*this};
};
