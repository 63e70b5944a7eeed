#pragma once

#include <string>

namespace rariduze {

class ProxyForm;
class TeskShapeProgressBar;

// The updater's window as the update driver sees it: the two left buttons, the progress bar,
// the settings dialog and the end of the process. Whatever draws the window implements it.
class UpdaterView {
 public:
  virtual ~UpdaterView() = default;

  // cmdVerifica ("Check for New version"): the caption it shows and whether it takes clicks.
  virtual void SetCheckCaption(const std::string& caption) = 0;
  virtual void SetCheckEnabled(bool enabled) = 0;
  // cmdStopDownload: whether it takes clicks.
  virtual void SetStopEnabled(bool enabled) = 0;

  // ProgressBar1's model. The window owns it, since it draws it.
  virtual TeskShapeProgressBar& ProgressBar1() = 0;

  // Shows frmProxy over form, modally and without an owner; returns once it has closed. The
  // dialog loads through form when it opens and saves and applies through it.
  virtual void ShowProxyDialog(ProxyForm& form) = 0;

  // The process ends as soon as this returns: the last chance to let go of what must not be
  // left behind. No code of the window runs afterwards.
  virtual void ProcessEnding() = 0;
};

}  // namespace rariduze
