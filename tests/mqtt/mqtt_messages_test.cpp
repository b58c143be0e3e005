// The messages as their readers take them: JSON that parses, the numbers of
// the readings, and discovery configurations that Home Assistant's MQTT
// sensor and binary sensor accept (the keys their schemas know, the ones they
// require, device classes and units that go together).
#include "mqtt/mqtt_messages.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <cstdlib>
#include <map>
#include <set>

namespace {

using kvn::MqttRecord;

QJsonObject Parse(const std::string& text) {
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
  EXPECT_TRUE(doc.isObject()) << text;
  return doc.object();
}

kvn::Readings SomeReadings() {
  kvn::Readings r;
  r.status = kvn::Readings::Status{2 | 16};  // above high; input 0 off, input 1 on
  r.temperature = kvn::Readings::Temperature{1, 51, 60, -1};
  r.analog[0] = kvn::Readings::Analog{123, 0};
  r.analog[8] = kvn::Readings::Analog{-4, 3};
  return r;
}

TEST(MqttMessages, TheRecordCarriesTheReadings) {
  const auto when = kvn::Readings::Time(std::chrono::milliseconds(1765358103100));
  const MqttRecord record = MqttRecord::From(
      SomeReadings(), {.status = true, .temperature = true, .analog = 0x101}, when, 7);
  const QJsonObject j = Parse(kvn::RecordJson(record));
  EXPECT_EQ(j["seq"].toInt(), 7);
  EXPECT_EQ(j["sensor"].toInt(), 1);
  EXPECT_EQ(j["temperature"].toDouble(), 25.5);
  EXPECT_EQ(j["high_set"].toDouble(), 30);
  EXPECT_EQ(j["low_set"].toDouble(), -0.5);
  EXPECT_TRUE(j["hi"].toBool());
  EXPECT_FALSE(j["lo"].toBool());
  EXPECT_FALSE(j["input0"].toBool());
  EXPECT_TRUE(j["input1"].toBool());
  const QJsonArray analog = j["analog"].toArray();
  ASSERT_EQ(analog.size(), 9);
  EXPECT_EQ(analog[0].toObject()["value"].toInt(), 123);
  EXPECT_EQ(analog[0].toObject()["format_name"].toString(), "single_unipolar");
  EXPECT_TRUE(analog[1].isNull());
  EXPECT_EQ(analog[8].toObject()["value"].toInt(), -4);
  EXPECT_EQ(analog[8].toObject()["format"].toInt(), 3);
  EXPECT_EQ(j["read"].toObject()["analog"].toArray(), (QJsonArray{0, 8}));
  EXPECT_TRUE(j["read"].toObject()["temperature"].toBool());

  // ISO 8601 with the offset, which gives back the instant.
  const std::string time = j["time"].toString().toStdString();
  EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.100[+-]\d\d:\d\d$)")
                  .match(QString::fromStdString(time))
                  .hasMatch())
      << time;
  EXPECT_EQ(
      QDateTime::fromString(QString::fromStdString(time), Qt::ISODateWithMs).toMSecsSinceEpoch(),
      1765358103100);

  // Nothing read yet: nulls, not zeros.
  const QJsonObject empty = Parse(kvn::RecordJson(MqttRecord::From({}, {}, when, 1)));
  EXPECT_TRUE(empty["temperature"].isNull());
  EXPECT_TRUE(empty["hi"].isNull());
  EXPECT_TRUE(empty["analog"].toArray()[0].isNull());
}

TEST(MqttMessages, NumbersAndTextsInJson) {
  EXPECT_EQ(kvn::DegreesJson(0), "0");
  EXPECT_EQ(kvn::DegreesJson(-1), "-0.5");
  EXPECT_EQ(kvn::DegreesJson(-2147483647 - 1), "-1073741824");
  EXPECT_EQ(kvn::DegreesJson(2147483647), "1073741823.5");
  EXPECT_EQ(kvn::JsonString("a\"b\\c\n"), R"("a\"b\\c\u000a")");
  EXPECT_EQ(kvn::JsonString("\u00B0C"), "\"\u00B0C\"");
  EXPECT_EQ(kvn::JsonString("x\xFFy\xE2\x82"), "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\"");
  // A host name of any bytes still gives JSON that parses.
  const kvn::MqttTopics odd("kvnvb/h", "h\"\\\x01\xFF", "300");
  for (const kvn::MqttMessage& m : kvn::DiscoveryMessages(odd)) Parse(m.payload);
}

TEST(MqttMessages, StatesAreRetainedPerSensor) {
  const kvn::MqttTopics topics("plant/a", "a", "300");
  const auto states =
      kvn::StateMessages(topics, MqttRecord::From(SomeReadings(), {}, kvn::Readings::Time(), 1));
  std::map<std::string, std::string> byTopic;
  for (const kvn::MqttMessage& m : states) {
    EXPECT_TRUE(m.retain) << m.topic;
    byTopic[m.topic] = m.payload;
  }
  EXPECT_EQ(byTopic["plant/a/state/temperature"], "25.5");
  EXPECT_EQ(byTopic["plant/a/state/low_set"], "-0.5");
  EXPECT_EQ(byTopic["plant/a/state/hi"], "ON");
  EXPECT_EQ(byTopic["plant/a/state/input0"], "OFF");
  EXPECT_EQ(byTopic["plant/a/state/analog8"], "-4");
  EXPECT_EQ(byTopic.count("plant/a/state/analog1"), 0u);  // never read
}

// The keys Home Assistant's MQTT sensor and binary sensor know (beside the
// shared entity keys), and the device classes with their units.
const std::set<QString> kEntityKeys = {"availability",
                                       "availability_mode",
                                       "availability_template",
                                       "availability_topic",
                                       "device",
                                       "enabled_by_default",
                                       "encoding",
                                       "entity_category",
                                       "entity_picture",
                                       "expire_after",
                                       "force_update",
                                       "icon",
                                       "json_attributes_template",
                                       "json_attributes_topic",
                                       "name",
                                       "object_id",
                                       "default_entity_id",
                                       "payload_available",
                                       "payload_not_available",
                                       "platform",
                                       "qos",
                                       "state_topic",
                                       "unique_id",
                                       "value_template",
                                       "device_class",
                                       "origin"};
const std::set<QString> kSensorKeys = {"last_reset_value_template", "options",
                                       "suggested_display_precision", "state_class",
                                       "unit_of_measurement"};
const std::set<QString> kBinaryKeys = {"off_delay", "payload_off", "payload_on"};
const std::set<QString> kDeviceKeys = {"configuration_url", "connections",  "hw_version",
                                       "identifiers",       "manufacturer", "model",
                                       "model_id",          "name",         "serial_number",
                                       "suggested_area",    "sw_version",   "via_device"};
const std::set<QString> kBinaryClasses = {"battery",
                                          "battery_charging",
                                          "carbon_monoxide",
                                          "cold",
                                          "connectivity",
                                          "door",
                                          "garage_door",
                                          "gas",
                                          "heat",
                                          "light",
                                          "lock",
                                          "moisture",
                                          "motion",
                                          "moving",
                                          "occupancy",
                                          "opening",
                                          "plug",
                                          "power",
                                          "presence",
                                          "problem",
                                          "running",
                                          "safety",
                                          "smoke",
                                          "sound",
                                          "tamper",
                                          "update",
                                          "vibration",
                                          "window"};

TEST(MqttMessages, DiscoveryAsHomeAssistantRequiresIt) {
  const kvn::MqttTopics topics("kvnvb/line-3", "line-3.plant", "300");
  const auto messages = kvn::DiscoveryMessages(topics);
  ASSERT_EQ(messages.size(), 3u + 4u + 9u);
  const QRegularExpression topicForm(
      R"(^homeassistant/(sensor|binary_sensor)/[a-zA-Z0-9_-]+/[a-zA-Z0-9_-]+/config$)");
  QSet<QString> uniqueIds;
  std::set<std::string> stateTopics;
  for (const auto& s :
       kvn::StateMessages(topics, MqttRecord::From(SomeReadings(), {}, kvn::Readings::Time(), 1)))
    stateTopics.insert(s.topic);
  QString deviceId;
  int binaries = 0;
  for (const kvn::MqttMessage& m : messages) {
    SCOPED_TRACE(m.topic);
    EXPECT_TRUE(m.retain);
    const auto match = topicForm.match(QString::fromStdString(m.topic));
    ASSERT_TRUE(match.hasMatch());
    const bool binary = match.captured(1) == "binary_sensor";
    binaries += binary;
    const QJsonObject j = Parse(m.payload);
    for (const QString& key : j.keys())
      EXPECT_TRUE(kEntityKeys.count(key) || (binary ? kBinaryKeys : kSensorKeys).count(key))
          << "a key Home Assistant does not know: " << key.toStdString();

    // Required, and a unique id for the entity registry and the device.
    ASSERT_TRUE(j["state_topic"].isString());
    const std::string state = j["state_topic"].toString().toStdString();
    EXPECT_EQ(state.find_first_of("+#"), std::string::npos);
    ASSERT_TRUE(j["unique_id"].isString());
    EXPECT_FALSE(uniqueIds.contains(j["unique_id"].toString()));
    uniqueIds.insert(j["unique_id"].toString());
    EXPECT_FALSE(j["name"].toString().isEmpty());

    // The availability the program publishes.
    EXPECT_EQ(j["availability_topic"].toString().toStdString(), topics.availability());
    EXPECT_EQ(j["payload_available"].toString(), kvn::kOnline);
    EXPECT_EQ(j["payload_not_available"].toString(), kvn::kOffline);

    // One device per board, named by identifiers.
    const QJsonObject device = j["device"].toObject();
    for (const QString& key : device.keys())
      EXPECT_TRUE(kDeviceKeys.count(key)) << key.toStdString();
    ASSERT_FALSE(device["identifiers"].toArray().isEmpty());
    const QString id = device["identifiers"].toArray()[0].toString();
    if (deviceId.isEmpty()) deviceId = id;
    EXPECT_EQ(id, deviceId);
    EXPECT_TRUE(id.contains("line_3_plant") && id.contains("300")) << id.toStdString();

    if (binary) {
      // The states it publishes are the payloads it names.
      EXPECT_EQ(j["payload_on"].toString(), "ON");
      EXPECT_EQ(j["payload_off"].toString(), "OFF");
      if (j.contains("device_class")) {
        EXPECT_TRUE(kBinaryClasses.count(j["device_class"].toString()));
      }
      EXPECT_FALSE(j.contains("unit_of_measurement"));
    } else {
      if (j["device_class"].toString() == "temperature") {
        EXPECT_TRUE(j["unit_of_measurement"].toString() == QString::fromUtf8("\u00B0C"));
      } else {
        EXPECT_FALSE(j.contains("device_class"));
      }
      EXPECT_TRUE(QSet<QString>({"measurement", "total", "total_increasing"})
                      .contains(j["state_class"].toString()));
    }
    // Every entity reads a topic the program fills.
    if (state.find("analog") == std::string::npos || state.back() == '0' || state.back() == '8') {
      EXPECT_TRUE(stateTopics.count(state)) << state;
    }
  }
  EXPECT_EQ(binaries, 4);
}

}  // namespace
