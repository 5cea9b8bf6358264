// Decoding of the enciphered texts of the project file (elements marked
// `Encrypt`, encrypted replacement strings) and of network-folder passwords.
//
// The decoding itself belongs to an outside library that the plug-in bridge
// loads; the bridge installs an ITextDecoder here once it has the library and
// removes it when the library is unloaded. Until then every DecodeText call
// fails with E_NOTIMPL, the result the reader reports for an encrypted
// element it cannot read.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

class ITextDecoder {
 public:
  virtual ~ITextDecoder() = default;
  // Turns an enciphered text into plain text. S_OK with *out replaced, or a
  // failure with *out unchanged. Called from any thread, at the same time
  // from several.
  virtual HRESULT Decode(std::string_view text, std::string* out) = 0;
};

// Installs the decoder (null removes it) and returns the previous one. A call
// already inside the previous decoder keeps it alive until it returns.
std::shared_ptr<ITextDecoder> SetTextDecoder(std::shared_ptr<ITextDecoder> decoder);

// Decodes with the installed decoder. E_POINTER for a null `out`; E_NOTIMPL
// when no decoder is installed; otherwise the decoder's result.
HRESULT DecodeText(std::string_view text, std::string* out);

}  // namespace tavrix
