#pragma once

// The chosen language: the translator on the Translations folder with the language
// file of the settings loaded, and the status texts made in that language.
void LoadLanguage();
// What every start of the program that runs downloads does first: writes its own path
// for the browser libraries, copies the shipped language files and the sample mirror
// list into the data folder where the user has none, and loads the language.
void PrepareProgram();
