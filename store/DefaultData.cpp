#include "DefaultData.h"

namespace pel::store {

// Select kinds: 4 matches option texts by words, 5 by lexicon phrases.
const std::vector<TDefaultField>& DefaultFields() {
  static const std::vector<TDefaultField> Fields = {
      {u"Title", u"Form of address", u"Identity", 4, u"title,salutation,prefix,name prefix,honorific", u"Mr",
       u"Mr,Mr.,Mister"},
      {u"First name", u"Given name", u"Identity", 0,
       u"first name,fname,first,given name,forename,christian name,name first,first nm", u"John", u""},
      {u"Middle name", u"Middle name or initial", u"Identity", 0, u"middle name,mname,middle initial,middle,mi",
       u"Quincy", u""},
      {u"Last name", u"Family name", u"Identity", 0,
       u"last name,lname,last,surname,family name,sur name,name last,second name,last nm", u"Public", u""},
      {u"Full name", u"First and last name", u"Identity", 0, u"name,full name,your name,contact name,fullname",
       u"John Q. Public", u""},
      {u"Birth date", u"Date of birth", u"Identity", 0, u"birth date,birthday,date of birth,dob,birthdate,bday",
       u"1980-04-01", u""},
      {u"Gender", u"Sex", u"Identity", 4, u"gender,sex", u"Male", u"Male,M,man"},
      {u"E-mail", u"E-mail address", u"Contact", 0,
       u"email,e mail,email address,e mail address,mail,mail address,email confirm,confirm email,emailaddress,"
       u"user email,email addr",
       u"john.public@example.com", u""},
      {u"Phone", u"Phone number", u"Contact", 0,
       u"phone,telephone,phone number,tel,telephone number,day phone,home phone,phone no,contact number,phonenumber",
       u"+1 555 0100", u""},
      {u"Mobile", u"Mobile phone number", u"Contact", 0,
       u"mobile,mobile phone,cell,cell phone,cellphone,mobile number,handy,gsm", u"+1 555 0199", u""},
      {u"Fax", u"Fax number", u"Contact", 0, u"fax,fax number,facsimile", u"+1 555 0101", u""},
      {u"Website", u"Home page address", u"Contact", 0, u"website,web site,homepage,home page,url,web address,www",
       u"http://www.example.com/", u""},
      {u"Address line 1", u"Street and number", u"Address", 0,
       u"address,address 1,address line 1,address line1,street,street address,addr,addr 1,address1,street 1,"
       u"line 1,house number,street line 1",
       u"1 Main Street", u""},
      {u"Address line 2", u"Apartment, suite, unit", u"Address", 0,
       u"address 2,address line 2,address line2,addr 2,address2,street 2,line 2,apartment,suite,apt,unit,"
       u"street line 2",
       u"Apartment 4", u""},
      {u"City", u"City or town", u"Address", 0, u"city,town,locality,city town,suburb", u"Springfield", u""},
      {u"State", u"State, province or region", u"Address", 4,
       u"state,province,region,county,state province,state region,stateprov", u"IL", u"Illinois,IL"},
      {u"Postcode", u"Postal or ZIP code", u"Address", 0,
       u"postcode,post code,postal code,zip,zip code,zipcode,postalcode,zip postal code,postal,plz", u"62701", u""},
      {u"Country", u"Country", u"Address", 5, u"country,country name,nation,country region,country code",
       u"United States", u"United States,USA,US"},
      {u"Company", u"Company or organisation", u"Company", 0,
       u"company,company name,organization,organisation,employer,business name,firm,org", u"Example Inc.", u""},
      {u"Job title", u"Position in the company", u"Company", 0, u"job title,position,occupation,job,role,jobtitle",
       u"Engineer", u""},
      {u"Department", u"Department", u"Company", 0, u"department,dept,division", u"Research", u""},
      {u"Username", u"Login name", u"Login", 0,
       u"username,user name,user id,userid,login,login name,login id,logon,account,account name,screen name,"
       u"nickname,nick,uid,user",
       u"jqpublic", u""},
      {u"Password", u"Login password", u"Login", 0,
       u"password,pass,passwd,pwd,pw,confirm password,password confirm,password again,retype password,passcode,"
       u"pass word,pin",
       u"", u""},
      {u"Card type", u"Payment card type", u"Payment card", 4, u"card type,cc type,credit card type,payment type",
       u"Visa", u"Visa"},
      {u"Card holder", u"Name on the card", u"Payment card", 0,
       u"card holder,cardholder,name on card,card name,cc name,card holder name,cardholder name,holder", u"", u""},
      {u"Card number", u"Payment card number", u"Payment card", 0,
       u"card number,cc number,ccnum,credit card number,cc no,card no,credit card,cardnumber,ccn,pan,cc",
       u"", u""},
      {u"Card expiry month", u"Expiry month (MM)", u"Payment card", 0,
       u"expiry month,exp month,expiration month,cc exp month,card exp month,expmonth,exp mm,month", u"", u""},
      {u"Card expiry year", u"Expiry year (YYYY)", u"Payment card", 0,
       u"expiry year,exp year,expiration year,cc exp year,card exp year,expyear,exp yy,year", u"", u""},
      {u"Card security code", u"The three or four digits on the card", u"Payment card", 0,
       u"cvv,cvc,cvv2,cvc2,csc,security code,card verification,verification code,card code,cid", u"", u""},
  };
  return Fields;
}

const char16_t* DefaultStopWords() {
  // Control name prefixes of page frameworks (txt, tb, ctl, …) and caption filler words.
  return u"a,an,the,of,your,you,please,enter,here,input,field,txt,tb,tbx,ctl,ctrl,inp,fld,frm,form,edit,"
         u"text,box,str,main,content,contentplaceholder,body,required,optional,my,new,and,or,for,to,on,is";
}

const std::vector<TDefaultTypeHint>& DefaultTypeHints() {
  static const std::vector<TDefaultTypeHint> Hints = {
      {u"email", u"E-mail"}, {u"tel", u"Phone"}, {u"password", u"Password"}, {u"url", u"Website"}};
  return Hints;
}

const std::vector<TDefaultSubstitution>& DefaultSubstitutions() {
  static const std::vector<TDefaultSubstitution> Items = {
      {u"united states", u"USA,US,U.S.A.,U.S.,United States of America,America"},
      {u"united kingdom", u"UK,U.K.,Great Britain,GB,Britain"},
      {u"germany", u"Deutschland,DE"},
      {u"mister", u"Mr,Mr."},
      {u"mistress", u"Mrs,Mrs.,Ms,Ms."},
  };
  return Items;
}

}  // namespace pel::store
