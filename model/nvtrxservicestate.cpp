#include "model/nvtrxservicestate.h"

namespace {
std::atomic<CNVTRXServiceState*> g_state{nullptr};
}

CNVTRXServiceState::CNVTRXServiceState() {
  m_lastError.MakeCurrent();
  g_state.store(this);
}

CNVTRXServiceState::~CNVTRXServiceState() {
  CNVTRXServiceState* self = this;
  g_state.compare_exchange_strong(self, nullptr);
}

CNVTRXServiceState* CNVTRXServiceState::Current() noexcept { return g_state.load(); }
