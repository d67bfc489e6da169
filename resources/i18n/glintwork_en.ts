<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
  <context>
    <name>glintwork::BatchSummaryView</name>
    <message numerus="yes">
      <source>About %n min left</source>
      <translation><numerusform>About %n min left</numerusform><numerusform>About %n min left</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>About %n h left</source>
      <translation><numerusform>About %n h left</numerusform><numerusform>About %n h left</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n failed</source>
      <translation><numerusform>%n failed</numerusform><numerusform>%n failed</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n cancelled</source>
      <translation><numerusform>%n cancelled</numerusform><numerusform>%n cancelled</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchToolView</name>
    <message numerus="yes">
      <source>and %n more</source>
      <translation><numerusform>and %n more</numerusform><numerusform>and %n more</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n item(s) could not be added:</source>
      <translation><numerusform>%n item could not be added:</numerusform><numerusform>%n items could not be added:</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::RootView</name>
    <message numerus="yes">
      <source>%n file(s) compressed</source>
      <translation><numerusform>%n file compressed</numerusform><numerusform>%n files compressed</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) cut out</source>
      <translation><numerusform>%n file cut out</numerusform><numerusform>%n files cut out</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) upscaled</source>
      <translation><numerusform>%n file upscaled</numerusform><numerusform>%n files upscaled</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>, %n failed</source>
      <translation><numerusform>, %n failed</numerusform><numerusform>, %n failed</numerusform></translation>
    </message>
  </context>
</TS>
