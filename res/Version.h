#pragma once
// Every version text of the program in one place: the resource script, the
// C++ code, the build and the release scripts all take them from here (the
// build checks that the forms below agree). Plain literals only: a resource
// compiler takes no C++ and need not join adjacent strings.

// The release: its four numbers (the version block's fixed part, the
// installer and the release files' names, the agent the program sends),
// and the first two as the version block's texts show them.
#define CORVANE_VERSION_COMMA 2, 0, 0, 0
#define CORVANE_VERSION_FULL  "2.0.0.0"
#define CORVANE_VERSION_TEXT  "2.0"

// The About box's line: the release, as the version block tells it.
#define CORVANE_ABOUT_VERSION "Corvane Version 2.0"

// The main window's title says 2.1 where the About box says 2.0, and both
// are meant to. The title is the name the taskbar shows and by which a
// second start, the installer and the release tests find the running window;
// it stays as it is when the release number changes, and it is not a
// version to compare.
#define CORVANE_WINDOW_TITLE "Corvane 2.1 by Orlimar"
