#include "language_setting.h"

namespace termgate {

void ReadLanguageSetting(Host& host, LanguageSetting& setting) {
  const std::unique_ptr<FileSystemObject> fso = host.CreateFileSystemObject();
  const TextView path = kLanguageFilePath;

  if (fso->FileExists(path) == kFalse) {
    setting.LangCode = u"EN";
    return;
  }

  const std::unique_ptr<TextStream> stream = fso->OpenTextFile(path, kForReading);
  // The first line is read without asking for the end of the stream: an empty file is an
  // error, not a default.
  setting.LangCode = stream->ReadLine();
  if (setting.LangCode == kCaptionsFromFileCode) {
    if (stream->AtEndOfStream() == kFalse) {
      setting.JpAcceptCaption = stream->ReadLine();
    }
    if (stream->AtEndOfStream() == kFalse) {
      setting.JpDeclineCaption = stream->ReadLine();
    }
  }
  stream->Close();
}

}  // namespace termgate
