#include "sound_player.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

static void InitSoundResources() {
    Q_INIT_RESOURCE(sounds);
}

namespace widgets {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {
    InitSoundResources();
    // Without an output device every attempt to play would only produce warnings.
    hasOutput_ =
        qEnvironmentVariableIsEmpty("RELAY_MUTE") && !QMediaDevices::audioOutputs().isEmpty();
}

SoundPlayer::~SoundPlayer() = default;

QString SoundPlayer::ResourcePath(const QString& name) {
    static const QHash<QString, QString> files = {
        {QStringLiteral("IDR_WAVE_START"), QStringLiteral(":/sounds/start.wav")},
        {QStringLiteral("IDR_WAVE_YK"), QStringLiteral(":/sounds/yk.wav")},
        {QStringLiteral("IDR_WAVE_HOVER"), QStringLiteral(":/sounds/hover.wav")},
        {QStringLiteral("IDR_WAVE_YX"), QStringLiteral(":/sounds/yx.wav")},
        {QStringLiteral("IDR_WAVE_RING"), QStringLiteral(":/sounds/ring.wav")},
    };
    return files.value(name);
}

void SoundPlayer::Play(const QString& name) {
    lastPlayed_ = name;
    const QString path = ResourcePath(name);
    if (!hasOutput_ || path.isEmpty())
        return;
    QSoundEffect*& effect = effects_[name];
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl(QStringLiteral("qrc") + path));
    }
    if (current_ && current_ != effect)
        current_->stop();
    effect->stop();
    effect->play();
    current_ = effect;
}

} // namespace widgets
