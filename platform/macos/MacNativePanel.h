#pragma once
// The native step that makes Corvane's Qt panel window a true non-activating panel. macOS only;
// plain C++ callers pass the NSView Qt made for the window (QWidget::winId()).

namespace corvane {

void makeNonActivatingPanel(void* nsView);

} // namespace corvane
