#pragma once
// Plays the programs' notification sounds by their resource names ("IDR_WAVE_START",
// "IDR_WAVE_YK", "IDR_WAVE_HOVER", "IDR_WAVE_YX", "IDR_WAVE_RING"). One sound at a time: a
// new sound cuts off the one still playing. Silent where the machine has no audio output.
// Call on the UI thread.

#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

namespace widgets {

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // The resource path of a sound name, or an empty string for an unknown name.
    static QString ResourcePath(const QString& name);

    void Play(const QString& name);
    // The name passed to the last Play call (also when nothing could be heard).
    QString LastPlayed() const { return lastPlayed_; }
    bool HasAudioOutput() const { return hasOutput_; }

private:
    QHash<QString, QSoundEffect*> effects_;
    QSoundEffect* current_ = nullptr;
    QString lastPlayed_;
    bool hasOutput_ = false;
};

} // namespace widgets
