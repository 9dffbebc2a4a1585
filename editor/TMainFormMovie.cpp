// The save-movie and preview commands.

#include "editor/TMainForm.h"

void TMainForm::CreateFlashBtnClick() {}

void TMainForm::PlayBtnClick() {}
