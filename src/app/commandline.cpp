#include "app/commandline.h"

#include "input/keycombination.h"
#include "platform/desktop.h"
#include "record/recordingoptions.h"
#include "run/run.h"
#include "run/stoprule.h"
#include "settings/text.h"

#include <QHash>
#include <QRegularExpression>

#include <cstdlib>

namespace {

using Mode = CommandLine::Mode;

// Modes an option belongs to, as bits.
constexpr unsigned bit(Mode mode)
{
    return 1u << unsigned(mode);
}
constexpr unsigned kPlay = bit(Mode::Play);
constexpr unsigned kRecord = bit(Mode::Record);

enum class Value { None, File, Integer, KeyCode };

// One row per option, in the order the usage text lists them. A mode option
// chooses the mode; the others belong to the modes in `modes`. Texts may name
// the range of an integer as %1 and %2.
struct OptionSpec {
    const char *name;
    Value kind;
    Text valueName;
    int low;
    int high;
    Mode mode;      // the mode it chooses (Window: not a mode option)
    unsigned modes; // modes it may be used with (mode options: 0)
    Text help;
};

constexpr int kMinDelay = 0; // a scheduled run may start at once

const OptionSpec kOptions[] = {
    {"play", Value::File, {"ファイル", "FILE"}, 0, 0, Mode::Play, 0,
     {"プロジェクトを再生して終了する（ウィンドウは開かない）", "play the project FILE without opening a window, then exit"}},
    {"record", Value::File, {"ファイル", "FILE"}, 0, 0, Mode::Record, 0,
     {"停止キーまでの操作をファイルに記録して終了する（ウィンドウは開かない）",
      "record into the project FILE until the stop key without opening a window"}},
    {"check", Value::File, {"ファイル", "FILE"}, 0, 0, Mode::Check, 0,
     {"ページの値を調べ、直される値や書かれたとおりに再生できない値を一行ずつ表示する",
      "list the page values of FILE that will be repaired or cannot play as written, one a line"}},
    {"stop", Value::None, {}, 0, 0, Mode::Stop, 0,
     {"再生中の実行を止める（このユーザーのもの。止めたら 0、再生中の実行がなければ 1 で終了）",
      "stop the run that is playing (this user's; exit 0 when one was stopped, 1 when none was playing)"}},
    {"times", Value::Integer, {"回数", "N"}, 1, Run::kMaxRunCount, Mode::Window, kPlay,
     {"ページを指定回数だけ再生する（%1〜%2）", "play the pages N times (%1 to %2)"}},
    {"until-stopped", Value::None, {}, 0, 0, Mode::Window, kPlay,
     {"停止キーかトレイアイコンのクリックまで繰り返す", "repeat until the stop key or a click on the tray icon"}},
    {"delay", Value::Integer, {"秒数", "SECONDS"}, kMinDelay, Run::kMaxStartDelay, Mode::Window, kPlay | kRecord,
     {"最初のページまで、または記録を始めるまでの待ち時間（%1〜%2 秒）",
      "seconds to wait before the first page, or before recording starts (%1 to %2)"}},
    {"stop-key", Value::KeyCode, {"コード", "CODE"}, 0, 0, Mode::Window, kPlay | kRecord,
     {"停止キーのコード「キー,修飾」（修飾: Alt 1, Ctrl 2, Shift 4, Win 8。83,3 は Ctrl+Alt+S）",
      "stop key as a code \"key,modifiers\" (modifiers: Alt 1, Ctrl 2, Shift 4, Win 8; 83,3 is Ctrl+Alt+S)"}},
    {"no-stop-key", Value::None, {}, 0, 0, Mode::Window, kPlay,
     {"停止キーなしで再生する（止めるにはシステムトレイが必要）",
      "play without a stop key (stopping it then needs a system tray)"}},
    {"quiet", Value::None, {}, 0, 0, Mode::Window, kPlay,
     {"成功したときは何も表示しない", "print nothing when the run succeeds"}},
    {"force", Value::None, {}, 0, 0, Mode::Window, kRecord,
     {"記録するファイルがすでにあれば置き換える", "replace the recording's FILE if it exists"}},
    {"help", Value::None, {}, 0, 0, Mode::Help, 0, {"この説明を表示する", "show this text"}},
    {"version", Value::None, {}, 0, 0, Mode::Version, 0, {"バージョンを表示する", "show the version"}},
};

// Options that cannot be given together.
const std::pair<const char *, const char *> kExclusive[] = {
    {"times", "until-stopped"},
    {"stop-key", "no-stop-key"},
};

const OptionSpec *findOption(const QString &name)
{
    for (const OptionSpec &spec : kOptions) {
        if (name == QLatin1String(spec.name))
            return &spec;
    }
    return nullptr;
}

QString dashed(const QString &name)
{
    return QStringLiteral("--") + name;
}

QString dashed(const char *name)
{
    return dashed(QString::fromLatin1(name));
}

// The mode options an option can be used with: "--play", "--play or --record".
QString modeOptionsOf(const OptionSpec &spec, bool ja)
{
    QStringList names;
    for (const OptionSpec &mode : kOptions) {
        if (mode.mode != Mode::Window && (spec.modes & bit(mode.mode)))
            names.append(dashed(mode.name));
    }
    return names.join(ja ? QStringLiteral(" か ") : QStringLiteral(" or "));
}

QString helpOf(const OptionSpec &spec, bool ja)
{
    QString text = spec.help.in(ja);
    if (spec.kind == Value::Integer)
        text = text.arg(spec.low).arg(spec.high);
    return text;
}

// Columns a text takes in a terminal: East Asian wide characters take two.
qsizetype columnsOf(const QString &text)
{
    qsizetype columns = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
            || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
            || (u >= 0xFFE0 && u <= 0xFFE6);
        columns += wide ? 2 : 1;
    }
    return columns;
}

// The value as a base-10 integer within the option's range.
std::optional<int> integerOf(const OptionSpec &spec, const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < spec.low || value > spec.high)
        return std::nullopt;
    return value;
}

} // namespace

QString CommandLine::programName()
{
    return QStringLiteral("tervalo_free");
}

QString CommandLine::versionLine()
{
    return programName() + QLatin1Char(' ') + QStringLiteral(TERVALO_VERSION);
}

void CommandLine::print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

void CommandLine::printError(const QString &message)
{
    print(stderr, programName() + QStringLiteral(": ") + message + QLatin1Char('\n'));
}

int CommandLine::usageError(const QString &message, bool japanese)
{
    printError(message);
    print(stderr, usage(japanese));
    return kExitUsage;
}

bool CommandLine::japaneseEnvironment()
{
    // The POSIX order for the language of messages: the first one set wins.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return QByteArray(value).startsWith("ja");
    }
    return false;
}

bool CommandLine::isStopKeyCode(const QString &code)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,3})(?:,([0-9]{1,2}))?$"));
    const QRegularExpressionMatch m = form.match(code);
    if (!m.hasMatch() || !StopRule::isUsableStopCommand(code))
        return false;
    const int mask = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    return mask <= 15; // Alt 1 | Ctrl 2 | Shift 4 | Win 8
}

QString CommandLine::missingStopKey(const QString &code, bool ja)
{
    const KeyCombination::Parsed p = KeyCombination::parse(code);
    if (p.none)
        return QString();
    std::shared_ptr<platform::Desktop> desktop = platform::currentDesktop();
    bool present = desktop->hasKey(p.vk);
    const std::pair<int, int> modifiers[] = {{platform::mod::Alt, platform::vk::Menu},
                                             {platform::mod::Ctrl, platform::vk::Control},
                                             {platform::mod::Shift, platform::vk::Shift},
                                             {platform::mod::Win, platform::vk::LWin}};
    for (const auto &[bit, vk] : modifiers) {
        if (p.mask & bit)
            present = present && desktop->hasKey(vk);
    }
    if (present)
        return QString();
    const QString label = KeyCombination::stopLabel(code);
    const QString named = label.isEmpty() || label == code ? code : code + QStringLiteral(" = ") + label;
    return ja ? QStringLiteral("停止キー ") + named
                    + QStringLiteral(" はこのデスクトップのキーにありません。押せる停止キーを --stop-key で指定してください")
              : QStringLiteral("the stop key ") + named
                    + QStringLiteral(" is not a key of this desktop; give one that can be pressed with --stop-key");
}

CommandLine::Result CommandLine::parse(const QStringList &arguments, bool ja)
{
    auto fail = [ja](const Text &text, const QStringList &values) {
        QString message = text.in(ja);
        for (const QString &value : values)
            message = message.arg(value);
        Result r;
        r.error = message;
        return r;
    };

    QHash<QString, QString> given; // option name -> value (empty for a switch)
    QStringList order;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QStringLiteral("--")) || argument.size() == 2)
            return fail({"余分な引数があります: %1", "unexpected argument: %1"}, {argument});
        QString name = argument.mid(2);
        std::optional<QString> inlineValue;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name.truncate(eq);
        }
        const OptionSpec *spec = findOption(name);
        if (!spec)
            return fail({"不明なオプションです: %1", "unknown option: %1"}, {dashed(name)});
        if (given.contains(name))
            return fail({"%1 が二度指定されています", "%1 is given twice"}, {dashed(name)});
        QString value;
        if (spec->kind != Value::None) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QStringLiteral("--"))) {
                value = arguments.at(++i);
            } else {
                return fail({"%1 には値（%2）が必要です", "%1 needs a value (%2)"}, {dashed(name), spec->valueName.in(ja)});
            }
            if (value.isEmpty())
                return fail({"%1 の値が空です", "%1 has an empty value"}, {dashed(name)});
        } else if (inlineValue) {
            return fail({"%1 は値を取りません", "%1 takes no value"}, {dashed(name)});
        }
        switch (spec->kind) {
        case Value::Integer:
            if (!integerOf(*spec, value))
                return fail({"%1 は %2 から %3 までの整数です: %4", "%1 takes a whole number from %2 to %3: %4"},
                            {dashed(name), QString::number(spec->low), QString::number(spec->high), value});
            break;
        case Value::KeyCode:
            if (!isStopKeyCode(value))
                return fail({"%1 はキーコード「キー,修飾」です（例: 83,3 = Ctrl+Alt+S）: %2",
                             "%1 takes a key code \"key,modifiers\" (e.g. 83,3 = Ctrl+Alt+S): %2"},
                            {dashed(name), value});
            break;
        case Value::None:
        case Value::File:
            break;
        }
        given.insert(name, value);
        order.append(name);
    }

    Result result;
    Options &o = result.options;
    result.ok = true;
    if (given.isEmpty())
        return result;
    // --help wins, so that any command line can ask for it.
    if (given.contains(QStringLiteral("help"))) {
        o.mode = Mode::Help;
        return result;
    }

    QStringList modeOptions;
    for (const QString &name : order) {
        if (findOption(name)->mode != Mode::Window)
            modeOptions.append(name);
    }
    if (modeOptions.size() > 1)
        return fail({"%1 と %2 は同時に指定できません", "%1 and %2 cannot be used together"},
                    {dashed(modeOptions.at(0)), dashed(modeOptions.at(1))});
    if (modeOptions.isEmpty())
        return fail({"%1 は %2 と一緒に使います", "%1 needs %2"},
                    {dashed(order.first()), modeOptionsOf(*findOption(order.first()), ja)});
    const OptionSpec *modeSpec = findOption(modeOptions.first());
    o.mode = modeSpec->mode;
    for (const QString &name : order) {
        const OptionSpec *spec = findOption(name);
        if (spec != modeSpec && !(spec->modes & bit(o.mode)))
            return fail({"%1 は %2 と一緒には使えません", "%1 cannot be used with %2"},
                        {dashed(name), dashed(modeSpec->name)});
    }
    for (const auto &[a, b] : kExclusive) {
        if (given.contains(QLatin1String(a)) && given.contains(QLatin1String(b)))
            return fail({"%1 と %2 は同時に指定できません", "%1 and %2 cannot be used together"}, {dashed(a), dashed(b)});
    }

    auto integer = [&given](const char *name) -> std::optional<int> {
        if (!given.contains(QLatin1String(name)))
            return std::nullopt;
        return integerOf(*findOption(QLatin1String(name)), given.value(QLatin1String(name)));
    };
    o.file = given.value(QLatin1String(modeSpec->name)); // --play, --record or --check
    o.times = integer("times");
    o.untilStopped = given.contains(QStringLiteral("until-stopped"));
    o.delay = integer("delay");
    if (given.contains(QStringLiteral("stop-key")))
        o.stopKey = given.value(QStringLiteral("stop-key"));
    o.noStopKey = given.contains(QStringLiteral("no-stop-key"));
    o.quiet = given.contains(QStringLiteral("quiet"));
    o.force = given.contains(QStringLiteral("force"));
    return result;
}

QString CommandLine::usage(bool ja)
{
    QString text;
    const QString name = programName();
    if (ja) {
        text += QStringLiteral("使い方: %1 [--play ファイル [--times 回数 | --until-stopped] [--delay 秒数]\n"
                               "                     [--stop-key コード | --no-stop-key] [--quiet]] [--help] [--version]\n"
                               "        %1 --record ファイル [--delay 秒数] [--stop-key コード] [--force]\n"
                               "        %1 --check ファイル\n"
                               "        %1 --stop\n\n"
                               "オプションなしで起動するとウィンドウを開きます。\n\n")
                    .arg(name);
    } else {
        text += QStringLiteral("Usage: %1 [--play FILE [--times N | --until-stopped] [--delay SECONDS]\n"
                               "                    [--stop-key CODE | --no-stop-key] [--quiet]] [--help] [--version]\n"
                               "       %1 --record FILE [--delay SECONDS] [--stop-key CODE] [--force]\n"
                               "       %1 --check FILE\n"
                               "       %1 --stop\n\n"
                               "Without options the program opens its window.\n\n")
                    .arg(name);
    }
    // Two columns: the option with its value name, then what it does.
    QStringList left;
    qsizetype width = 0;
    for (const OptionSpec &spec : kOptions) {
        QString column = QStringLiteral("  ") + dashed(spec.name);
        if (spec.kind != Value::None)
            column += QLatin1Char(' ') + spec.valueName.in(ja);
        width = std::max(width, columnsOf(column));
        left.append(column);
    }
    for (size_t i = 0; i < std::size(kOptions); ++i) {
        const QString &column = left.at(qsizetype(i));
        text += column + QString(width + 2 - columnsOf(column), QLatin1Char(' ')) + helpOf(kOptions[i], ja)
            + QLatin1Char('\n');
    }
    // A recording's values not given are the record dialog's defaults.
    const RecordingOptions recordDefaults;
    const QString defaultStop = QStringLiteral("%1 = %2").arg(recordDefaults.stopCommand,
                                                              KeyCombination::stopLabel(recordDefaults.stopCommand));
    if (ja) {
        text += QStringLiteral("\n--play で指定しなかった値は実行設定（設定ファイル）の値を使います。\n"
                               "停止キーは必須です。--no-stop-key はシステムトレイがあるときだけ使えます。\n"
                               "--record は --delay 秒（指定しなければ %1 秒）待ってから、停止キー（指定しなければ\n"
                               "%2）まで記録します。既存のファイルは --force のときだけ置き換えます。\n"
                               "--check は見つけた値を一行ずつ表示します（終了コード 0 問題なし, 1 見つかった, 2 読めない）。\n"
                               "終了コード: 0 すべて再生した・記録を保存した, 3 停止された（記録: 始まる前に）, "
                               "2 ファイルが読めない・書けない・画面がない, 64 使い方の誤り\n")
                    .arg(recordDefaults.startDelay)
                    .arg(defaultStop);
    } else {
        text += QStringLiteral("\nWith --play, values not given are taken from the run settings (the settings file).\n"
                               "A stop key is required; --no-stop-key works only where there is a system tray.\n"
                               "--record waits --delay seconds (%1 unless given), then records until the stop key\n"
                               "(%2 unless given); an existing FILE is replaced only with --force.\n"
                               "--check prints the values it finds, one a line (exit 0 clean, 1 found, 2 unreadable).\n"
                               "Exit codes: 0 all passes played or the recording written,\n"
                               "3 stopped (a recording: before it started), "
                               "2 file not readable or not writable, or no display, 64 bad usage\n")
                    .arg(recordDefaults.startDelay)
                    .arg(defaultStop);
    }
    return text;
}
