#pragma once
// The pictures of the workbench's windows, each taken after a real run of the
// window's task, for the help pages and the illustrated tour.
//
// The pictures come in scenes: a scene starts a fresh workbench in a
// temporary folder, prepares its windows shot by shot (sets inputs, presses
// the buttons a researcher presses, waits for the run) and saves each window
// as a PNG file. "tour" takes every scene that belongs to the tour.

#include <QString>
#include <QStringList>

namespace membrix {

// The names a scene is asked for by, "tour" first.
QStringList PictureScenes();

// Takes the pictures of the scene (or of the whole tour) into folder and
// returns the exit status: 0 when every picture was saved, 1 otherwise, 2 for
// a name that is no scene.
int TakePictures(const QString& scene, const QString& folder);

}  // namespace membrix
