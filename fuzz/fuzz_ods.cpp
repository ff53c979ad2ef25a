// libFuzzer target: object descriptor strings and the XML DOM under them.
//
// Each input is read twice, as UTF-8 and as raw UTF-16 (little-endian code
// units, so unpaired surrogates and U+0000 get in too), and goes through
// ParseODS, ValidateODS, GetLeafNode and the name readers. The results must
// agree with each other, and a descriptor that is valid must compose back,
// from the names read, into a descriptor with the same names that composes
// to the same text again. Any loaded document must also serialise into a
// text that loads back and serialises the same. A broken rule aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "descriptors/nvtrxodsutil.h"
#include "log/nvtrxlog.h"
#include "log/nvtrxlasterror.h"
#include "log/nvtrxresult.h"

namespace {

using Chain = std::vector<std::pair<TrxString, TrxString>>;

[[noreturn]] void Fail(const char* rule, TrxStringView text) {
  std::fprintf(stderr, "fuzz_ods: %s\ninput (UTF-8): %s\n", rule, TrxNarrow(text).c_str());
  std::abort();
}

Chain ReadChain(CNVTRXXmlNode node, TrxStringView text) {
  Chain chain;
  for (; node; node = node.GetFirstChild()) {
    TrxString className, repositoryName;
    if (GetODSClassName(node, className) != TRX_OK || GetODSRepositoryName(node, repositoryName) != TRX_OK) {
      Fail("a name reader failed", text);
    }
    chain.emplace_back(std::move(className), std::move(repositoryName));
  }
  return chain;
}

void CheckDescriptor(TrxStringView text) {
  CNVTRXXmlNode top;
  const LONG parsed = ParseODS(text, &top);
  if (parsed != TRX_OK && parsed != TRX_BAD_ODS) Fail("ParseODS gave an unexpected code", text);
  if (parsed == TRX_OK && top.IsNull() != text.empty()) Fail("ParseODS: node and text disagree", text);
  if (parsed != TRX_OK && !top.IsNull()) Fail("ParseODS failed but gave a node", text);

  LONG validated = TRX_OK;
  bool valid = false;
  if (top) {
    validated = ValidateODS(top, valid);
    if (validated != TRX_OK && validated != TRX_BAD_ODS) Fail("ValidateODS gave an unexpected code", text);
    if (validated == TRX_OK && !valid) Fail("ValidateODS passed an invalid descriptor", text);
  }

  CNVTRXXmlNode leaf;
  const LONG leafResult = GetLeafNode(text, &leaf);
  LONG expected = parsed;
  if (parsed == TRX_OK && top) expected = validated != TRX_OK ? validated : (valid ? TRX_OK : TRX_BAD_ODS);
  if (leafResult != expected) Fail("GetLeafNode disagrees with ParseODS and ValidateODS", text);
  const bool expectLeaf = expected == TRX_OK && top;
  if (leaf.IsNull() == expectLeaf) Fail("GetLeafNode: node and result disagree", text);
  if (!expectLeaf) return;
  if (leaf.HasChildNodes()) Fail("the leaf has children", text);

  const Chain chain = ReadChain(top, text);
  TrxString leafClass, leafRepository;
  GetODSClassName(leaf, leafClass);
  GetODSRepositoryName(leaf, leafRepository);
  if (chain.empty() || chain.back() != std::make_pair(leafClass, leafRepository)) {
    Fail("the leaf is not the innermost element", text);
  }

  // Round trip through composition.
  const TrxString composed = TrxComposeODS(chain);
  CNVTRXXmlNode recomposedTop;
  if (ParseODS(composed, &recomposedTop) != TRX_OK || !recomposedTop) Fail("a composed descriptor does not parse", text);
  bool recomposedValid = false;
  if (ValidateODS(recomposedTop, recomposedValid) != TRX_OK || !recomposedValid) {
    Fail("a composed descriptor is not valid", text);
  }
  if (ReadChain(recomposedTop, text) != chain) Fail("a composed descriptor reads back other names", text);
  if (TrxComposeODS(chain) != composed) Fail("composing is not repeatable", text);
}

void CheckDocument(TrxStringView text) {
  CNVTRXXmlDocument document;
  if (!document.LoadXml(text)) return;
  const TrxString element = document.GetDocumentElement().GetXml();
  CNVTRXXmlDocument again;
  if (!again.LoadXml(element)) Fail("a serialised element does not load", text);
  if (again.GetDocumentElement().GetXml() != element) Fail("element serialisation is not stable", text);
  const TrxString whole = document.GetXml();
  if (!again.LoadXml(whole)) Fail("a serialised document does not load", text);
  if (again.GetXml() != whole) Fail("document serialisation is not stable", text);
}

void Check(TrxStringView text) {
  CheckDescriptor(text);
  CheckDocument(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Reports record into a last error as they do in the service.
  static CNVTRXLastError* const lastError = [] {
    auto* record = new CNVTRXLastError();
    record->MakeCurrent();
    return record;
  }();
  static_cast<void>(lastError);

  Check(TrxWiden(std::string_view(reinterpret_cast<const char*>(data), size)));
  TrxString utf16(size / 2, OLECHAR(0));
  for (size_t i = 0; i < utf16.size(); ++i) {
    utf16[i] = static_cast<OLECHAR>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  Check(utf16);
  CNVTRXLog::DiscardQueue();
  return 0;
}
