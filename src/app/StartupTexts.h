#pragma once

#include <QString>

class QWidget;

// The welcome lines the history starts with: the catalogue's greeting with today's date and the
// time, in the forms of the user's locale.
QString welcomeText();

// Opens the maker's home page with the browser registered for our index.html, or says that there
// is none.
void openHomepage(QWidget* parent);
