// The tests' outside FIT writer and reader, on Garmin's SDK.
//   node fit.mjs encode RIDE.json OUT.fit   RIDE: {"name", "laps": [[record...]...]}, a record
//                                            {"t": unix s, "lat", "lon", "ele", "speed" (m/s), "hr"}
//   node fit.mjs decode IN.fit              the records, a line each: t lat lon ele speed hr
//   node fit.mjs generate N OUT.fit         N records of a ride in laps of 1000
//   node fit.mjs count IN.fit               decodes all messages, prints the records' count
import { Decoder, Encoder, Profile, Stream, Utils } from "@garmin/fitsdk";
import * as fs from "fs";

const semicircles = (deg) => Math.round((deg * 2147483648) / 180);
const date = (unix) => new Date(unix * 1000);

function encode(ride) {
  const e = new Encoder();
  const first = ride.laps[0][0].t;
  e.onMesg(Profile.MesgNum.FILE_ID, { manufacturer: "development", product: 1, timeCreated: date(first), type: "activity" });
  if (ride.name) e.onMesg(Profile.MesgNum.SPORT, { sport: "cycling", name: ride.name });
  for (const lap of ride.laps) {
    for (const r of lap) {
      const m = { timestamp: date(r.t), positionLat: semicircles(r.lat), positionLong: semicircles(r.lon) };
      if (r.ele !== undefined) m.enhancedAltitude = r.ele;
      if (r.speed !== undefined) m.enhancedSpeed = r.speed;
      if (r.hr !== undefined) m.heartRate = r.hr;
      e.onMesg(Profile.MesgNum.RECORD, m);
    }
    const last = lap[lap.length - 1].t;
    e.onMesg(Profile.MesgNum.LAP, { timestamp: date(last), startTime: date(lap[0].t) });
  }
  const end = ride.laps[ride.laps.length - 1];
  e.onMesg(Profile.MesgNum.SESSION, { timestamp: date(end[end.length - 1].t), startTime: date(first), sport: "cycling" });
  return e.close();
}

const [cmd, a, b] = process.argv.slice(2);
if (cmd === "encode") {
  fs.writeFileSync(b, encode(JSON.parse(fs.readFileSync(a, "utf8"))));
} else if (cmd === "generate") {
  const n = Number(a), laps = [];
  for (let i = 0; i < n; ++i) {
    if (i % 1000 === 0) laps.push([]);
    laps[laps.length - 1].push({ t: 1700000000 + i, lat: 47 + i * 1e-6, lon: 8 + i * 2e-6, ele: 400 + (i % 100) / 5, speed: 5 + (i % 7), hr: 120 + (i % 40) });
  }
  fs.writeFileSync(b, encode({ name: "Generated ride", laps }));
} else if (cmd === "count") {
  const { messages, errors } = new Decoder(Stream.fromBuffer(fs.readFileSync(a))).read();
  if (errors.length) { console.error(errors); process.exit(1); }
  console.log(messages.recordMesgs.length);
} else if (cmd === "decode") {
  const { messages, errors } = new Decoder(Stream.fromBuffer(fs.readFileSync(a))).read({ convertDateTimesToDates: false });
  if (errors.length) { console.error(errors); process.exit(1); }
  for (const r of messages.recordMesgs)
    console.log([r.timestamp + Utils.FIT_EPOCH_MS / 1000, r.positionLat * 180 / 2147483648, r.positionLong * 180 / 2147483648, r.enhancedAltitude ?? r.altitude ?? "", r.enhancedSpeed ?? r.speed ?? "", r.heartRate ?? ""].join(" "));
} else {
  console.error("usage: fit.mjs encode RIDE OUT | decode IN | generate N OUT");
  process.exit(2);
}
