#include "config/text_decoder.h"

#include <mutex>
#include <utility>

namespace tavrix {
namespace {

std::mutex g_decoderMutex;                // guards g_decoder (not held while decoding)
std::shared_ptr<ITextDecoder> g_decoder;  // the installed decoder, or null

}  // namespace

std::shared_ptr<ITextDecoder> SetTextDecoder(std::shared_ptr<ITextDecoder> decoder) {
  std::lock_guard lock(g_decoderMutex);
  std::swap(g_decoder, decoder);
  return decoder;
}

HRESULT DecodeText(std::string_view text, std::string* out) {
  if (out == nullptr) return E_POINTER;
  std::shared_ptr<ITextDecoder> decoder;
  {
    std::lock_guard lock(g_decoderMutex);
    decoder = g_decoder;
  }
  if (!decoder) return E_NOTIMPL;
  return decoder->Decode(text, out);
}

}  // namespace tavrix
